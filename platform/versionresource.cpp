#include "versionresource.h"

#include "platform/exception.h"

#include <QFile>
#include <QStringList>
#include <QtEndian>

#include <climits>
#include <link.h>
#include <unistd.h>

namespace {

enum : quint16
{
    BinaryBlock = 0,
    TextBlock = 1
};

struct Block
{
    QString key;
    quint16 valueLength = 0; // bytes for binary values, 16-bit units for text values
    quint16 type = TextBlock;
    QByteArray value;
    QList<Block> children;
};

void padTo4(QByteArray &bytes)
{
    while (bytes.size() % 4 != 0)
        bytes.append('\0');
}

void appendU16(QByteArray &bytes, quint16 v)
{
    char le[2];
    qToLittleEndian(v, le);
    bytes.append(le, 2);
}

void appendU32(QByteArray &bytes, quint32 v)
{
    char le[4];
    qToLittleEndian(v, le);
    bytes.append(le, 4);
}

// UTF-16LE text with its terminating NUL.
QByteArray utf16z(const QString &text, const char *what)
{
    if (text.contains(QChar(0)))
        throw EArgumentOutOfRangeException(QStringLiteral("Version resource %1 contains a NUL character: %2")
                                               .arg(QLatin1String(what), text));
    QByteArray bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (QChar c : text)
        appendU16(bytes, c.unicode());
    appendU16(bytes, 0);
    return bytes;
}

// A block's length counts its header, key, padding, value and children, but not the padding that
// aligns whatever follows it; every block starts on a 32-bit boundary of the whole resource.
QByteArray serialize(const Block &block)
{
    QByteArray out(6, '\0');
    out += utf16z(block.key, "key");
    padTo4(out);
    out += block.value;
    for (const Block &child : block.children) {
        padTo4(out);
        out += serialize(child);
    }
    if (out.size() > 0xFFFF)
        throw EArgumentOutOfRangeException(QStringLiteral(
            "Version resource block \"%1\" is %2 bytes long; at most 65535 fit its length field")
                                               .arg(block.key)
                                               .arg(out.size()));
    qToLittleEndian<quint16>(quint16(out.size()), out.data());
    qToLittleEndian<quint16>(block.valueLength, out.data() + 2);
    qToLittleEndian<quint16>(block.type, out.data() + 4);
    return out;
}

} // namespace

std::optional<TModuleVersion> TModuleVersion::Parse(const QString &text)
{
    const QStringList fields = text.trimmed().split(QLatin1Char('.'));
    if (fields.isEmpty() || fields.size() > 4)
        return std::nullopt;
    TModuleVersion version;
    for (int i = 0; i < fields.size(); ++i) {
        bool ok = false;
        const uint n = fields[i].toUInt(&ok, 10);
        if (!ok || n > 0xFFFF || fields[i].startsWith(QLatin1Char('+')))
            return std::nullopt;
        version.parts[size_t(i)] = quint16(n);
    }
    return version;
}

QString TModuleVersion::ToString() const
{
    return QStringLiteral("%1.%2.%3.%4").arg(parts[0]).arg(parts[1]).arg(parts[2]).arg(parts[3]);
}

void TVersionResourceBuilder::SetLanguage(quint16 language, quint16 codePage)
{
    m_language = language;
    m_codePage = codePage;
}

QString TVersionResourceBuilder::StringTableKey() const
{
    return QStringLiteral("%1%2")
        .arg(m_language, 4, 16, QLatin1Char('0'))
        .arg(m_codePage, 4, 16, QLatin1Char('0'))
        .toUpper();
}

QByteArray TVersionResourceBuilder::Build() const
{
    Block root { QStringLiteral("VS_VERSION_INFO"), 52, BinaryBlock, {}, {} };
    for (quint32 v : { 0xFEEF04BDu, 0x00010000u, m_fileVersion.MostSignificant(),
             m_fileVersion.LeastSignificant(), m_productVersion.MostSignificant(),
             m_productVersion.LeastSignificant(), 0x3Fu /* flags mask */, m_fileFlags,
             0u /* VOS_UNKNOWN: no Windows here */, m_fileType, 0u /* subtype */, 0u, 0u /* file date */ })
        appendU32(root.value, v);

    Block table { StringTableKey(), 0, TextBlock, {}, {} };
    for (const auto &[key, value] : m_strings) {
        if (key.isEmpty())
            throw EArgumentOutOfRangeException(QStringLiteral("Version resource string without a key"));
        // An empty value is still written as its terminating NUL: a value length of 0 would read as
        // the end of the string table to readers that walk the entries.
        const QByteArray text = utf16z(value, "value");
        table.children.append({ key, quint16(text.size() / 2), TextBlock, text, {} });
    }
    Block strings { QStringLiteral("StringFileInfo"), 0, TextBlock, {}, { table } };

    QByteArray translation;
    appendU16(translation, m_language);
    appendU16(translation, m_codePage);
    Block var { QStringLiteral("Translation"), 4, BinaryBlock, translation, {} };
    Block vars { QStringLiteral("VarFileInfo"), 0, TextBlock, {}, { var } };

    root.children = { strings, vars };
    return serialize(root);
}

std::optional<QByteArray> FindVersionResource(const TDataModule &module)
{
    return module.ReadSection(VersionResourceSection);
}

QString ApplicationFileName()
{
    char path[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", path, PATH_MAX);
    return n > 0 ? QFile::decodeName(QByteArray(path, n)) : QString();
}

QString ModuleFileNameOf(const void *address)
{
    struct Search
    {
        ElfW(Addr) address;
        bool found = false;
        QString name;
    } search { reinterpret_cast<ElfW(Addr)>(address), false, {} };
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *data) -> int {
            auto *s = static_cast<Search *>(data);
            for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr) &ph = info->dlpi_phdr[i];
                const ElfW(Addr) start = info->dlpi_addr + ph.p_vaddr;
                if (ph.p_type == PT_LOAD && s->address >= start && s->address < start + ph.p_memsz) {
                    s->found = true;
                    s->name = QFile::decodeName(info->dlpi_name);
                    return 1;
                }
            }
            return 0;
        },
        &search);
    // The main program is listed without a name.
    if (!search.found || search.name.isEmpty())
        return ApplicationFileName();
    return search.name;
}
