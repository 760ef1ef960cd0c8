#include "textfile.h"

#include "exception.h"
#include "filename.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Windows-1252 0x80..0x9F. The five bytes the code page leaves unassigned map to the C1 control of
// the same value, so that every byte decodes to a distinct character and encodes back to itself.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, //
};

inline char16_t cp1252ToUnicode(uchar b)
{
    return (b >= 0x80 && b <= 0x9F) ? kCp1252High[b - 0x80] : char16_t(b);
}

// The byte for a character, or -1 when Windows-1252 (as extended above) has none.
int unicodeToCp1252(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < 32; ++i) {
        if (kCp1252High[i] == c)
            return 0x80 + i;
    }
    return -1;
}

constexpr uchar kUtf8Bom[3] = { 0xEF, 0xBB, 0xBF };

bool startsWith(const QByteArray &bytes, const uchar *prefix, qsizetype n)
{
    return bytes.size() >= n && std::memcmp(bytes.constData(), prefix, size_t(n)) == 0;
}

enum class Bom
{
    None,
    Utf8,
    Utf16LE,
    Utf16BE
};

Bom detectBom(const QByteArray &bytes)
{
    static constexpr uchar le[2] = { 0xFF, 0xFE };
    static constexpr uchar be[2] = { 0xFE, 0xFF };
    if (startsWith(bytes, kUtf8Bom, 3))
        return Bom::Utf8;
    if (startsWith(bytes, le, 2))
        return Bom::Utf16LE;
    if (startsWith(bytes, be, 2))
        return Bom::Utf16BE;
    return Bom::None;
}

// Strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF): exactly the byte strings
// that QString::fromUtf8 decodes without replacing anything, so that they survive a save unchanged.
// Payment files are mostly ASCII, so eight bytes at a time are skipped while none has its top bit.
bool isValidUtf8(const char *data, qsizetype size)
{
    const auto *p = reinterpret_cast<const uchar *>(data);
    const uchar *const end = p + size;
    while (p < end) {
        while (end - p >= 8) {
            quint64 word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ULL)
                break;
            p += 8;
        }
        if (p == end)
            break;
        const uchar c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra;
        uchar lo = 0x80, hi = 0xBF; // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            if (c == 0xE0)
                lo = 0xA0; // overlong
            else if (c == 0xED)
                hi = 0x9F; // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            if (c == 0xF0)
                lo = 0x90; // overlong
            else if (c == 0xF4)
                hi = 0x8F; // above U+10FFFF
        } else {
            return false;
        }
        if (end - p <= extra)
            return false;
        if (p[1] < lo || p[1] > hi)
            return false;
        for (int i = 2; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
        }
        p += extra + 1;
    }
    return true;
}

// UTF-16 code units are copied as they are, unpaired surrogates included.
QString decodeUtf16(const char *data, qsizetype size, bool bigEndian)
{
    const qsizetype n = size / 2;
    QString text(n, Qt::Uninitialized);
    auto *out = reinterpret_cast<char16_t *>(text.data());
    const auto *in = reinterpret_cast<const uchar *>(data);
    for (qsizetype i = 0; i < n; ++i) {
        const uchar a = in[2 * i], b = in[2 * i + 1];
        out[i] = bigEndian ? char16_t((a << 8) | b) : char16_t((b << 8) | a);
    }
    return text;
}

QString decodeCp1252(const char *data, qsizetype size)
{
    QString text(size, Qt::Uninitialized);
    auto *out = reinterpret_cast<char16_t *>(text.data());
    const auto *in = reinterpret_cast<const uchar *>(data);
    for (qsizetype i = 0; i < size; ++i)
        out[i] = cp1252ToUnicode(in[i]);
    return text;
}

// Windows-1252 straight to UTF-8, without a UTF-16 copy of a possibly large file.
QByteArray cp1252ToUtf8(const QByteArray &bytes)
{
    QByteArray out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (const char ch : bytes) {
        const char16_t c = cp1252ToUnicode(uchar(ch));
        if (c < 0x80) {
            out.append(char(c));
        } else if (c < 0x800) {
            out.append(char(0xC0 | (c >> 6)));
            out.append(char(0x80 | (c & 0x3F)));
        } else {
            out.append(char(0xE0 | (c >> 12)));
            out.append(char(0x80 | ((c >> 6) & 0x3F)));
            out.append(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

QString describeChar(const QString &text, qsizetype i)
{
    char32_t cp = text.at(i).unicode();
    QString shown = text.mid(i, 1);
    if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
        cp = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
        shown = text.mid(i, 2);
    } else if (text.at(i).isSurrogate()) {
        shown.clear(); // a lone surrogate cannot be shown
    }
    const QString code = QStringLiteral("U+%1").arg(uint(cp), 4, 16, QLatin1Char('0')).toUpper();
    const QString what = shown.isEmpty() || cp < 0x20 || (cp >= 0x7F && cp < 0xA0)
        ? code
        : QStringLiteral("\"%1\" (%2)").arg(shown, code);
    const qsizetype lineStart = i == 0 ? 0 : text.lastIndexOf(u'\n', i - 1) + 1;
    const qsizetype line = text.first(lineStart).count(u'\n') + 1;
    return QStringLiteral("The character %1 in line %2, column %3")
        .arg(what)
        .arg(line)
        .arg(i - lineStart + 1);
}

QByteArray encodeUtf8Strict(const QString &text, TextEncoding encoding)
{
    const char16_t *u = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (QChar::isHighSurrogate(u[i]) && i + 1 < n && QChar::isLowSurrogate(u[i + 1])) {
            ++i;
        } else if (QChar::isSurrogate(u[i])) {
            throw EConvertError(QStringLiteral("%1 cannot be saved as %2.")
                                    .arg(describeChar(text, i), encodingName(encoding)));
        }
    }
    return text.toUtf8();
}

QByteArray encodeUtf16(const QString &text, bool bigEndian)
{
    QByteArray out(2 * (text.size() + 1), Qt::Uninitialized);
    auto *p = reinterpret_cast<uchar *>(out.data());
    auto put = [&](char16_t c) {
        *p++ = uchar(bigEndian ? c >> 8 : c & 0xFF);
        *p++ = uchar(bigEndian ? c & 0xFF : c >> 8);
    };
    put(0xFEFF);
    for (const QChar c : text)
        put(c.unicode());
    return out;
}

QByteArray encodeCp1252(const QString &text)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int b = unicodeToCp1252(text.at(i).unicode());
        if (b < 0) {
            throw EConvertError(QStringLiteral("%1 cannot be saved as %2.")
                                    .arg(describeChar(text, i), encodingName(TextEncoding::Windows1252)));
        }
        out[i] = char(b);
    }
    return out;
}

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

} // namespace

QString encodingName(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case TextEncoding::Utf8Bom:
        return QStringLiteral("UTF-8 with BOM");
    case TextEncoding::Utf16LE:
        return QStringLiteral("UTF-16 LE");
    case TextEncoding::Utf16BE:
        return QStringLiteral("UTF-16 BE");
    case TextEncoding::Windows1252:
        return QStringLiteral("Windows-1252");
    }
    return {};
}

// A byte-order mark is believed only when the rest fits it: UTF-8 after EF BB BF must be valid, and
// UTF-16 must be a whole number of code units. Otherwise the file is read as Windows-1252, which
// keeps every byte (the mark included), so that a damaged file is shown and saved without loss
// rather than silently repaired.
// QString::fromUtf8 drops a leading U+FEFF; a second mark behind the file's own one is text.
static QString utf8KeepingMarks(const char *data, qsizetype size)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(data, size));
}

DecodedText decodeText(const QByteArray &bytes)
{
    const char *data = bytes.constData();
    const qsizetype size = bytes.size();
    switch (detectBom(bytes)) {
    case Bom::Utf8:
        if (isValidUtf8(data + 3, size - 3))
            return { utf8KeepingMarks(data + 3, size - 3), TextEncoding::Utf8Bom };
        break;
    case Bom::Utf16LE:
    case Bom::Utf16BE:
        if (size % 2 == 0) {
            const bool be = detectBom(bytes) == Bom::Utf16BE;
            return { decodeUtf16(data + 2, size - 2, be),
                be ? TextEncoding::Utf16BE : TextEncoding::Utf16LE };
        }
        break;
    case Bom::None:
        if (isValidUtf8(data, size))
            return { utf8KeepingMarks(data, size), TextEncoding::Utf8 };
        break;
    }
    return { decodeCp1252(data, size), TextEncoding::Windows1252 };
}

QByteArray encodeText(const QString &text, TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return encodeUtf8Strict(text, encoding);
    case TextEncoding::Utf8Bom:
        return QByteArray(reinterpret_cast<const char *>(kUtf8Bom), 3) + encodeUtf8Strict(text, encoding);
    case TextEncoding::Utf16LE:
        return encodeUtf16(text, false);
    case TextEncoding::Utf16BE:
        return encodeUtf16(text, true);
    case TextEncoding::Windows1252:
        return encodeCp1252(text);
    }
    return {};
}

QByteArray toUtf8KeepingSurrogates(const QString &text)
{
    QByteArray out;
    out.reserve(text.size() * 3 / 2 + 16);
    const auto *p = reinterpret_cast<const char16_t *>(text.utf16());
    const char16_t *const end = p + text.size();
    while (p < end) {
        const char16_t *run = p;
        while (run < end && !QChar::isSurrogate(*run))
            ++run;
        while (run + 1 < end && QChar::isHighSurrogate(run[0]) && QChar::isLowSurrogate(run[1]))
            run += 2; // pairs are ordinary characters
        if (run != p) {
            out += QStringView(p, run - p).toUtf8();
            p = run;
            continue;
        }
        const char16_t u = *p++;
        out += char(0xE0 | (u >> 12));
        out += char(0x80 | ((u >> 6) & 0x3F));
        out += char(0x80 | (u & 0x3F));
    }
    return out;
}

QByteArray toUtf8Text(const QByteArray &bytes, TextEncoding *encoding)
{
    TextEncoding found = TextEncoding::Windows1252;
    QByteArray result;
    const Bom bom = detectBom(bytes);
    if (bom == Bom::None && isValidUtf8(bytes.constData(), bytes.size())) {
        found = TextEncoding::Utf8;
        result = bytes; // shared, not copied
    } else if (bom == Bom::Utf8 && isValidUtf8(bytes.constData() + 3, bytes.size() - 3)) {
        found = TextEncoding::Utf8Bom;
        result = bytes.sliced(3);
    } else if ((bom == Bom::Utf16LE || bom == Bom::Utf16BE) && bytes.size() % 2 == 0) {
        // Through QString exactly as the editor's text goes to the engine, so that both see the
        // same bytes, unpaired surrogates included.
        const DecodedText decoded = decodeText(bytes);
        found = decoded.encoding;
        result = toUtf8KeepingSurrogates(decoded.text);
    } else {
        result = cp1252ToUtf8(bytes);
    }
    if (encoding)
        *encoding = found;
    return result;
}

QByteArray readFileBytes(const QString &path, qint64 maxBytes)
{
    const QByteArray native = encodeFileName(path);
    auto fail = [&](const QString &why) -> EFOpenError {
        return EFOpenError(QStringLiteral("Cannot read \"%1\": %2").arg(path, why));
    };
    auto checkKind = [&](const struct stat &st) {
        if (S_ISDIR(st.st_mode))
            throw fail(QStringLiteral("it is a folder, not a file."));
        if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))
            throw fail(QStringLiteral("it is a pipe or socket, not a regular file."));
        if (!S_ISREG(st.st_mode))
            throw fail(QStringLiteral("it is a device, not a regular file."));
        if (st.st_size > maxBytes) {
            throw fail(QStringLiteral("the file is too large (%1 bytes; at most %2 bytes can be read).")
                           .arg(qint64(st.st_size))
                           .arg(maxBytes));
        }
    };
    if (path.isEmpty())
        throw EFOpenError(QStringLiteral("Cannot read a file without a name."));

    // Judge the kind before opening: opening a FIFO would block and opening a device may act.
    struct stat st;
    if (::stat(native.constData(), &st) != 0) {
        const int err = errno;
        throw fail(err == ENOENT ? QStringLiteral("the file does not exist.") : errnoText(err) + u'.');
    }
    checkKind(st);

    // O_NONBLOCK in case the path was swapped for a FIFO in between; fstat then judges the open file.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int err = errno;
        throw fail(errnoText(err) + u'.');
    }
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer { fd };
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        throw fail(errnoText(err) + u'.');
    }
    checkKind(st);

    QByteArray bytes;
    bytes.resize(qsizetype(st.st_size));
    qsizetype have = 0;
    for (;;) {
        if (have == bytes.size()) {
            // The file grew since fstat; keep reading, within the limit.
            if (have >= maxBytes) {
                char probe;
                const ssize_t r = ::read(fd, &probe, 1);
                if (r == 0)
                    break;
                if (r > 0)
                    throw fail(QStringLiteral("the file is too large (more than %1 bytes).").arg(maxBytes));
                if (errno == EINTR)
                    continue;
                const int err = errno;
                throw fail(errnoText(err) + u'.');
            }
            bytes.resize(qsizetype(qMin<qint64>(maxBytes, qint64(have) + qMax<qint64>(have / 2, 65536))));
        }
        const ssize_t r = ::read(fd, bytes.data() + have, size_t(bytes.size() - have));
        if (r == 0)
            break;
        if (r < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            throw fail(errnoText(err) + u'.');
        }
        have += r;
    }
    bytes.resize(have);
    return bytes;
}

namespace {

// The file a path finally names after following symbolic links; a dangling link names its target.
QByteArray resolveLinks(const QByteArray &path)
{
    QByteArray current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(current.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        QByteArray target(qsizetype(st.st_size > 0 ? st.st_size : 4096), Qt::Uninitialized);
        const ssize_t n = ::readlink(current.constData(), target.data(), size_t(target.size()));
        if (n < 0)
            return current;
        target.truncate(n);
        if (!target.startsWith('/')) {
            const qsizetype slash = current.lastIndexOf('/');
            target.prepend(slash < 0 ? QByteArray() : current.left(slash + 1));
        }
        current = target;
    }
    return current; // a loop: the write fails with the system's message
}

bool writeAll(int fd, const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t w = ::write(fd, data, size_t(qMin<qsizetype>(size, qsizetype(1) << 30)));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += w;
        size -= w;
    }
    return true;
}

} // namespace

void writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    auto fail = [&](int err) {
        return EFCreateError(QStringLiteral("Cannot save \"%1\": %2.").arg(path, errnoText(err)));
    };
    if (path.isEmpty())
        throw EFCreateError(QStringLiteral("Cannot save a file without a name."));

    const QByteArray target = resolveLinks(encodeFileName(path));
    struct stat old;
    const bool exists = ::stat(target.constData(), &old) == 0;
    if (!exists && errno != ENOENT)
        throw fail(errno);
    if (exists && S_ISDIR(old.st_mode))
        throw fail(EISDIR);

    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray dir = slash < 0 ? QByteArray(".") : (slash == 0 ? QByteArray("/") : target.left(slash));
    const QByteArray base = target.mid(slash + 1);

    // Created with 0666 so that the umask applies to a new file as it would to a plain write.
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = dir + '/' + '.' + base + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36)
            + ".tmp";
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt > 100))
            throw fail(errno);
    }

    auto abandon = [&](int err) {
        ::close(fd);
        ::unlink(temp.constData());
        return fail(err);
    };
    if (exists) {
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Not permitted for a foreign owner; the file then belongs to whoever saves it.
        }
        if (::fchmod(fd, old.st_mode & 07777) != 0)
            throw abandon(errno);
    }
    if (!writeAll(fd, bytes.constData(), bytes.size()))
        throw abandon(errno);
    if (::fsync(fd) != 0)
        throw abandon(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(temp.constData());
        throw fail(err);
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        const int err = errno;
        ::unlink(temp.constData());
        throw fail(err);
    }
    // Make the rename itself durable; a failure here leaves a complete file, so it is not reported.
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}
