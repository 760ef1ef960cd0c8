#pragma once
// TVersionInfo reads the string entries of a module's version resource (the first string table of
// its VS_VERSIONINFO block) into a dictionary keyed by the upper-cased entry name, and serves them as
// ten standard items, as any item by name, and as a small XML summary. It walks the raw resource
// itself from the fixed offset of the first string entry.

#include "components/versioninfo/zc_generics_collections.h"
#include "platform/exception.h"
#include "platform/formstream.h" // EReadError, the platform's stream read error
#include "platform/textformat.h" // trimControls: blanks and control characters off both ends
#include "platform/units.h"

#include <QString>

#include <memory>

class TVersionInfo
{
public:
    class TVersionInfo_Dict : public TInterfacedDictionary<QString, QString>
    {
    };

    // Entries are read into a work buffer of this size; a longer entry (more than 406 bytes with its
    // header) is read whole all the same, never cut off.
    static constexpr int WorkBufferSize = 400;

    // Reads the running executable.
    TVersionInfo();
    // Reads ALibraryName at once; see SetLibraryName for the errors.
    explicit TVersionInfo(const QString &ALibraryName);
    ~TVersionInfo();
    TVersionInfo(const TVersionInfo &) = delete;
    TVersionInfo &operator=(const TVersionInfo &) = delete;

    QString LibraryName() const { return fLibraryName; }
    // Stores the name and reads its resource (Refresh). A file that cannot be opened as a module
    // raises Exception with the system's text for the error; a module without version resource
    // leaves the entries as they are; a resource shorter than its root block's length, or an entry
    // whose lengths contradict each other or run past the root block, raises EReadError and leaves
    // the entries as they are. The walk ends at the end of the root block, so a resource without
    // VarFileInfo reads.
    void SetLibraryName(const QString &Value);
    // Reads the resource of LibraryName into the dictionary: entries are added or replaced, never
    // removed, so keys the new resource lacks keep their earlier values.
    void Refresh();

    // The standard items; empty when the resource holds none. They do not read the resource again.
    QString CompanyName() const { return GetInfoItem(1); }
    QString FileDescription() const { return GetInfoItem(2); }
    QString FileVersion() const { return GetInfoItem(3); }
    QString InternalName() const { return GetInfoItem(4); }
    QString LegalCopyright() const { return GetInfoItem(5); }
    QString LegalTrademarks() const { return GetInfoItem(6); }
    QString OriginalFilename() const { return GetInfoItem(7); }
    QString ProductName() const { return GetInfoItem(8); }
    QString ProductVersion() const { return GetInfoItem(9); }
    QString Comments() const { return GetInfoItem(10); }

    // The entry of that name (blanks and control characters around it ignored, case ignored); raises
    // EListError "Item not found" when there is none.
    QString VersionInfoItemByName(const QString &ItemName) const;
    // Refreshes, then returns <MODUL><MODUL_FILE>…</MODUL_FILE><VERSIONINFO>…</VERSIONINFO></MODUL>
    // with one element per entry in the order the entries were first read, CR LF and tabs between
    // them. Names and values are not escaped.
    QString AsXML();

    const TVersionInfo_Dict &Entries() const { return *fVersionInfo_Dict; }

    // The dictionary key of an entry name: ASCII upper-casing first, then the locale's.
    static QString KeyOf(const QString &AName);
    // The standard item's key for index 1 to 10 (CompanyName … Comments), else empty.
    static QString InfoItemKey(int Index);

protected:
    QString GetInfoItem(int Index) const;

private:
    // Owned here and never handed out as an interface, so its reference count never frees it.
    std::unique_ptr<TVersionInfo_Dict> fVersionInfo_Dict;
    QString fLibraryName;
};

// The shared readers: the running executable's, and the one of the module that holds this code, which
// is the same object unless the code runs inside a shared library. Created when the unit starts
// (their errors stop the start), released when it finishes; asking for them outside that raises
// Exception.
TVersionInfo &VersionInfoApp();
TVersionInfo &VersionInfoLib();
// The unit zc_VersionInfo: the shared readers.
extern const TUnit zc_VersionInfoUnit;
