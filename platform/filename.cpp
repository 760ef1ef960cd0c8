#include "filename.h"

#include <QFile>

#include <dirent.h>
#include <sys/stat.h>

namespace {

constexpr char16_t kRawBase = 0xDC00;

bool isRawByte(char16_t c)
{
    return c >= 0xDC80 && c <= 0xDCFF;
}

// Length of the valid UTF-8 sequence at p (at most n bytes), 0 when there is none.
int validSequence(const unsigned char *p, qsizetype n)
{
    const unsigned char b = p[0];
    if (b < 0x80)
        return 1;
    int len;
    char32_t min;
    char32_t cp;
    if ((b & 0xE0) == 0xC0) {
        len = 2, min = 0x80, cp = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
        len = 3, min = 0x800, cp = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
        len = 4, min = 0x10000, cp = b & 0x07;
    } else {
        return 0;
    }
    if (n < len)
        return 0;
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

bool statName(const QString &name, struct stat &st)
{
    return !name.isEmpty() && ::stat(encodeFileName(name).constData(), &st) == 0;
}

} // namespace

QString decodeFileName(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size());
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const int len = validSequence(p + i, n - i);
        if (len == 0) {
            out += QChar(char16_t(kRawBase + p[i]));
            ++i;
            continue;
        }
        out += QString::fromUtf8(reinterpret_cast<const char *>(p + i), len);
        i += len;
    }
    return out;
}

QByteArray encodeFileName(const QString &name)
{
    if (!hasRawBytes(name))
        return name.toUtf8();
    QByteArray out;
    qsizetype from = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name.at(i).unicode();
        const bool paired = i > 0 && name.at(i - 1).isHighSurrogate();
        if (isRawByte(c) && !paired) {
            out += QStringView(name).mid(from, i - from).toUtf8();
            out += char(c - kRawBase);
            from = i + 1;
        }
    }
    out += QStringView(name).mid(from).toUtf8();
    return out;
}

bool hasRawBytes(const QString &name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (isRawByte(name.at(i).unicode()) && !(i > 0 && name.at(i - 1).isHighSurrogate()))
            return true;
    }
    return false;
}

QString displayFileName(const QString &name)
{
    if (!hasRawBytes(name))
        return name;
    return QString::fromUtf8(encodeFileName(name)); // each raw byte becomes U+FFFD
}

bool fileNameExists(const QString &name)
{
    struct stat st;
    return statName(name, st);
}

bool fileNameIsFile(const QString &name)
{
    struct stat st;
    return statName(name, st) && S_ISREG(st.st_mode);
}

QString resolveFileName(const QString &name)
{
    if (!name.contains(QChar(QChar::ReplacementCharacter)) || fileNameExists(name))
        return name;
    const QStringList parts = name.split(u'/');
    QString resolved;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString &part = parts.at(i);
        const QString folder = i == 0 ? QStringLiteral(".")
            : resolved.isEmpty()      ? QStringLiteral("/")
                                      : resolved;
        QString found = part;
        if (part.contains(QChar(QChar::ReplacementCharacter))) {
            DIR *dir = ::opendir(encodeFileName(folder).constData());
            if (!dir)
                return name;
            int matches = 0;
            while (const dirent *entry = ::readdir(dir)) {
                // Qt's own decoding of the entry, compared with the name it gave.
                if (QString::fromUtf8(entry->d_name) == part) {
                    found = decodeFileName(QByteArray(entry->d_name));
                    ++matches;
                }
            }
            ::closedir(dir);
            if (matches != 1)
                return name;
        }
        resolved = i == 0 ? found : resolved + u'/' + found;
    }
    return resolved;
}

QStringList losslessArguments(const QStringList &qtArguments)
{
    QFile cmdline(QStringLiteral("/proc/self/cmdline"));
    if (!cmdline.open(QIODevice::ReadOnly))
        return qtArguments;
    QList<QByteArray> raw = cmdline.readAll().split('\0');
    if (!raw.isEmpty() && raw.last().isEmpty())
        raw.removeLast();
    // Qt removes the options it handles itself (-platform, -style, ...), so the arguments it keeps
    // are matched in order against the raw ones.
    QStringList out;
    qsizetype next = 0;
    for (const QString &arg : qtArguments) {
        qsizetype j = next;
        while (j < raw.size() && QString::fromLocal8Bit(raw.at(j)) != arg)
            ++j;
        if (j < raw.size()) {
            out.append(decodeFileName(raw.at(j)));
            next = j + 1;
        } else {
            out.append(arg);
        }
    }
    return out;
}
