#pragma once
// A module file (executable or shared library) opened as data: its ELF section table is read from
// disk, nothing is mapped or run. This is the Linux counterpart of loading a module with
// LOAD_LIBRARY_AS_DATAFILE, and a named section is the counterpart of a resource.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class TDataModule
{
public:
    ~TDataModule();
    TDataModule(const TDataModule &) = delete;
    TDataModule &operator=(const TDataModule &) = delete;

    // Opens fileName and reads its section table. On failure returns null and sets *error to an
    // errno value: the open error, EISDIR / EACCES for something that is not a regular file, ENOEXEC
    // for a file that is not a well-formed ELF module.
    static std::unique_ptr<TDataModule> Load(const QString &fileName, int *error);

    const QString &FileName() const { return m_fileName; }

    // The bytes of the section with this name as stored in the file; nullopt when the module has no
    // such section or it occupies no bytes in the file (SHT_NOBITS). Throws EFOpenError when the file
    // cannot be read although its section table promised the bytes.
    std::optional<QByteArray> ReadSection(QByteArrayView name) const;

private:
    struct Section
    {
        QByteArray name;
        quint32 type = 0;
        quint64 offset = 0;
        quint64 size = 0;
    };

    TDataModule() = default;
    bool readSectionTable(int *error);

    QString m_fileName;
    int m_fd = -1;
    quint64 m_fileSize = 0;
    std::vector<Section> m_sections;
};
