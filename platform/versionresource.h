#pragma once
// The version resource of our modules: a block in the platform's published version-information
// format (VS_VERSIONINFO: root block with VS_FIXEDFILEINFO, StringFileInfo with one string table,
// VarFileInfo with the translation), carried in the ELF section ".pravik_version" of an executable.
// The build generates it with TVersionResourceBuilder (cmake/VersionResource.cmake); readers find it
// with FindVersionResource on a module opened by TDataModule.

#include "platform/datamodule.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <array>
#include <optional>

inline constexpr char VersionResourceSection[] = ".pravik_version";

// Byte offset of the first string entry in a resource laid out as TVersionResourceBuilder writes it
// (and as the Windows resource compiler does): 40 bytes root header, 52 bytes fixed file
// information, 36 bytes StringFileInfo header, 24 bytes string table header.
inline constexpr int VersionResourceFirstStringOffset = 152;

// A four-part module version, most significant first (1.0.0.1).
struct TModuleVersion
{
    std::array<quint16, 4> parts = { 0, 0, 0, 0 };

    // Accepts one to four dot-separated decimal numbers of 0 to 65535; missing parts are 0.
    static std::optional<TModuleVersion> Parse(const QString &text);
    QString ToString() const;
    quint32 MostSignificant() const { return quint32(parts[0]) << 16 | parts[1]; }
    quint32 LeastSignificant() const { return quint32(parts[2]) << 16 | parts[3]; }
};

class TVersionResourceBuilder
{
public:
    enum FileType : quint32
    {
        VFT_UNKNOWN = 0,
        VFT_APP = 1,
        VFT_DLL = 2
    };

    void SetFileVersion(const TModuleVersion &version) { m_fileVersion = version; }
    void SetProductVersion(const TModuleVersion &version) { m_productVersion = version; }
    void SetFileType(FileType type) { m_fileType = type; }
    void SetFileFlags(quint32 flags) { m_fileFlags = flags; }
    // Language and code page of the string table and of the translation entry; the table's key is
    // their eight-digit hexadecimal form ("040904B0" for US English in UTF-16).
    void SetLanguage(quint16 language, quint16 codePage);
    QString StringTableKey() const;

    // Entries are written in the order they are added; a key added twice is written twice.
    void AddString(const QString &key, const QString &value) { m_strings.append({ key, value }); }

    // Throws EArgumentOutOfRangeException when a key or value holds a NUL character, a key is empty,
    // or a block grows beyond the 65535 bytes its 16-bit length field can express.
    QByteArray Build() const;

private:
    TModuleVersion m_fileVersion;
    TModuleVersion m_productVersion;
    quint32 m_fileType = VFT_APP;
    quint32 m_fileFlags = 0;
    quint16 m_language = 0x0409;
    quint16 m_codePage = 1200;
    QList<QPair<QString, QString>> m_strings;
};

// The version resource of an opened module, or nullopt when the module carries none.
std::optional<QByteArray> FindVersionResource(const TDataModule &module);

// Full path of the running executable.
QString ApplicationFileName();
// Full path of the module (executable or shared library) whose code or data holds address.
QString ModuleFileNameOf(const void *address);
