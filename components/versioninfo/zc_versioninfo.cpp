#include "zc_versioninfo.h"

#include "platform/datamodule.h"
#include "platform/syserror.h"
#include "platform/versionresource.h"

#include <QLocale>
#include <QtEndian>

#include <memory>
#include <utility>

namespace {

// Reads the resource bytes like an in-memory stream: a read past the end raises the stream's read
// error.
class ResourceStream
{
public:
    explicit ResourceStream(QByteArray bytes)
        : m_bytes(std::move(bytes))
    {
    }

    qsizetype Size() const { return m_bytes.size(); }
    void ReadBuffer(qsizetype position, char *buffer, qsizetype count) const
    {
        if (position < 0 || count < 0 || position > m_bytes.size() - count)
            throw EReadError(QStringLiteral("Stream read error"));
        memcpy(buffer, m_bytes.constData() + position, size_t(count));
    }
    quint16 ReadWord(qsizetype position) const
    {
        if (position < 0 || position > m_bytes.size() - 2)
            throw EReadError(QStringLiteral("Stream read error"));
        return quint16(uchar(m_bytes.at(position)) | (uchar(m_bytes.at(position + 1)) << 8));
    }

private:
    QByteArray m_bytes;
};

// NUL-terminated UTF-16LE text starting at byte offset from, never reading past end.
QString utf16zAt(const QByteArray &buffer, qsizetype from, qsizetype end)
{
    QString text;
    for (qsizetype i = from; i + 1 < end; i += 2) {
        const char16_t c = qFromLittleEndian<quint16>(buffer.constData() + i);
        if (c == 0)
            break;
        text.append(QChar(c));
    }
    return text;
}

QString asciiUpper(QString text)
{
    for (QChar &c : text) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    }
    return text;
}

} // namespace

QString TVersionInfo::KeyOf(const QString &AName)
{
    // ASCII first, so that a Turkish locale cannot turn the "i" of "FileVersion" into a dotted capital.
    return QLocale().toUpper(asciiUpper(AName));
}

QString TVersionInfo::InfoItemKey(int Index)
{
    static const char *const keys[]
        = { "COMPANYNAME", "FILEDESCRIPTION", "FILEVERSION", "INTERNALNAME", "LEGALCOPYRIGHT",
              "LEGALTRADEMARKS", "ORIGINALFILENAME", "PRODUCTNAME", "PRODUCTVERSION", "COMMENTS" };
    return Index >= 1 && Index <= 10 ? QLatin1String(keys[Index - 1]) : QString();
}

TVersionInfo::TVersionInfo()
    : TVersionInfo(ApplicationFileName())
{
}

TVersionInfo::TVersionInfo(const QString &ALibraryName)
    : fVersionInfo_Dict(std::make_unique<TVersionInfo_Dict>())
{
    SetLibraryName(ALibraryName);
}

TVersionInfo::~TVersionInfo() = default;

void TVersionInfo::SetLibraryName(const QString &Value)
{
    fLibraryName = Value;
    Refresh();
}

void TVersionInfo::Refresh()
{
    int error = 0;
    std::unique_ptr<TDataModule> module = TDataModule::Load(fLibraryName, &error);
    if (!module) {
        if (error != 0)
            throw Exception(SysErrorMessage(error));
        return;
    }
    const std::optional<QByteArray> resource = FindVersionResource(*module);
    module.reset();
    if (!resource)
        return;
    const ResourceStream whole(*resource);

    // The root block's length says how long the resource is. Data shorter than that was cut off;
    // bytes behind it (padding of the section that carries it) are no part of it. A resource without
    // VarFileInfo ends right after its last string, so the walk may end there without error.
    if (whole.Size() < 6)
        throw EReadError(
            QStringLiteral("The version resource of %1 is cut off: its %2 bytes cannot hold a block header")
                .arg(fLibraryName)
                .arg(whole.Size()));
    const quint16 rootLength = whole.ReadWord(0);
    if (rootLength < 6)
        throw EReadError(
            QStringLiteral("The version resource of %1 is malformed: its length of %2 bytes cannot hold its "
                           "own header")
                .arg(fLibraryName)
                .arg(rootLength));
    if (whole.Size() < rootLength)
        throw EReadError(QStringLiteral("The version resource of %1 is cut off: it holds %2 of its %3 bytes")
                             .arg(fLibraryName)
                             .arg(whole.Size())
                             .arg(rootLength));
    const ResourceStream stream(resource->left(rootLength));
    const auto entryBeyondEnd = [&](qsizetype at) {
        return EReadError(
            QStringLiteral("The version resource of %1 is malformed: the entry at byte %2 runs past its "
                           "end at byte %3")
                .arg(fLibraryName)
                .arg(at)
                .arg(rootLength));
    };

    // Stored only once the whole walk has succeeded: a malformed resource changes nothing.
    QList<TPair<QString, QString>> entries;
    QByteArray buffer(WorkBufferSize, Qt::Uninitialized);
    qsizetype p = VersionResourceFirstStringOffset;
    // The walk ends at the first block without value (the next table or VarFileInfo), or at the end
    // of the root block.
    while (p < stream.Size()) {
        if (p + 6 > stream.Size())
            throw entryBeyondEnd(p);
        const quint16 length = stream.ReadWord(p);
        const quint16 valueLength = stream.ReadWord(p + 2);
        if (valueLength == 0)
            break;
        const qsizetype rest = qsizetype(length) - 6;
        if (rest < 2 * qsizetype(valueLength))
            throw EReadError(
                QStringLiteral("The version resource of %1 is malformed at byte %2: an entry of %3 "
                               "bytes cannot hold a value of %4 characters")
                    .arg(fLibraryName)
                    .arg(p)
                    .arg(length)
                    .arg(valueLength));
        if (p + length > stream.Size())
            throw entryBeyondEnd(p);
        // An entry longer than the work buffer is read whole rather than cut off.
        if (rest > buffer.size())
            buffer.resize(rest);
        stream.ReadBuffer(p + 6, buffer.data(), rest);

        const QString key = utf16zAt(buffer, 0, rest);
        const QString value = utf16zAt(buffer, rest - 2 * qsizetype(valueLength), rest);
        if (!trimControls(value).isEmpty())
            entries.append({ KeyOf(key), value });

        p = (p + length + 3) & ~qsizetype(3);
    }
    for (const auto &[key, value] : std::as_const(entries))
        fVersionInfo_Dict->AddOrSetValue(key, value);
}

QString TVersionInfo::GetInfoItem(int Index) const
{
    QString value;
    fVersionInfo_Dict->TryGetValue(InfoItemKey(Index), value);
    return value;
}

QString TVersionInfo::VersionInfoItemByName(const QString &ItemName) const
{
    return fVersionInfo_Dict->GetItem(KeyOf(trimControls(ItemName)));
}

QString TVersionInfo::AsXML()
{
    Refresh();
    QString items;
    for (auto it = fVersionInfo_Dict->begin(); it != fVersionInfo_Dict->end(); ++it) {
        const QString &key = it.key();
        if (key.isEmpty())
            continue;
        if (it.value().isEmpty())
            items += QStringLiteral("\r\n\t\t<%1/>").arg(key);
        else
            items += QLatin1String("\r\n\t\t<") + key + u'>' + it.value() + QLatin1String("</") + key + u'>';
    }
    const QString head
        = QLatin1String("<MODUL>\r\n\t<MODUL_FILE>") + fLibraryName + QLatin1String("</MODUL_FILE>\r\n\t");
    if (items.isEmpty())
        return head + QLatin1String("<VERSIONINFO/>\r\n</MODUL>");
    return head + QLatin1String("<VERSIONINFO>") + items + QLatin1String("\r\n\t</VERSIONINFO>\r\n</MODUL>");
}

namespace {

// The shared readers exist between the unit's start and finish; read-only in between.
struct SharedReaders
{
    std::unique_ptr<TVersionInfo> app;
    std::unique_ptr<TVersionInfo> lib; // only when this code lives in a shared library
};
SharedReaders *g_shared = nullptr;

QString ownModuleFileName()
{
    return ModuleFileNameOf(reinterpret_cast<const void *>(&ownModuleFileName));
}

void startVersionReaders()
{
    auto readers = std::make_unique<SharedReaders>();
    readers->app = std::make_unique<TVersionInfo>();
    const QString ownModule = ownModuleFileName();
    if (ownModule != ApplicationFileName())
        readers->lib = std::make_unique<TVersionInfo>(ownModule);
    delete std::exchange(g_shared, readers.release());
}

void finishVersionReaders()
{
    const std::unique_ptr<SharedReaders> readers(std::exchange(g_shared, nullptr));
    if (readers) {
        readers->lib.reset();
        readers->app.reset();
    }
}

SharedReaders &sharedReaders()
{
    if (!g_shared)
        throw Exception(
            QStringLiteral("The shared version readers exist only while the unit zc_VersionInfo runs"));
    return *g_shared;
}

} // namespace

const TUnit zc_VersionInfoUnit = { "zc_VersionInfo", startVersionReaders, finishVersionReaders };

TVersionInfo &VersionInfoApp()
{
    return *sharedReaders().app;
}

TVersionInfo &VersionInfoLib()
{
    SharedReaders &readers = sharedReaders();
    return readers.lib ? *readers.lib : *readers.app;
}
