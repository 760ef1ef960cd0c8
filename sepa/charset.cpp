#include "charset.h"

#include <array>

namespace sepa {

namespace {

constexpr std::array<bool, 128> kAscii = [] {
    std::array<bool, 128> t {};
    for (char c = 'a'; c <= 'z'; ++c)
        t[size_t(c)] = true;
    for (char c = 'A'; c <= 'Z'; ++c)
        t[size_t(c)] = true;
    for (char c = '0'; c <= '9'; ++c)
        t[size_t(c)] = true;
    for (const char c : { '/', '-', '?', ':', '(', ')', '.', ',', '\'', '+', ' ', '&', '*', '$', '%' })
        t[size_t(c)] = true;
    return t;
}();

// Second bytes after 0xC3 of Ä Ö Ü ß ä ö ü.
bool isGermanLetter(unsigned char second)
{
    switch (second) {
    case 0x84:
    case 0x96:
    case 0x9C:
    case 0x9F:
    case 0xA4:
    case 0xB6:
    case 0xBC:
        return true;
    default:
        return false;
    }
}

} // namespace

qsizetype firstOutsideDkCharset(QByteArrayView utf8)
{
    const auto *data = reinterpret_cast<const unsigned char *>(utf8.data());
    const qsizetype size = utf8.size();
    for (qsizetype i = 0; i < size; ++i) {
        const unsigned char b = data[i];
        if (b < 0x80) {
            if (!kAscii[b])
                return i;
            continue;
        }
        if (b == 0xC3) {
            if (i + 1 == size)
                return -1;
            if (isGermanLetter(data[i + 1])) {
                ++i;
                continue;
            }
        }
        return i;
    }
    return -1;
}

char32_t codePointAt(QByteArrayView utf8, qsizetype offset)
{
    const auto *data = reinterpret_cast<const unsigned char *>(utf8.data());
    const qsizetype size = utf8.size();
    if (offset < 0 || offset >= size)
        return 0xFFFD;
    const unsigned char b = data[offset];
    if (b < 0x80)
        return b;
    int length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
    if (length == 0 || offset + length > size)
        return 0xFFFD;
    char32_t cp = b & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        const unsigned char c = data[offset + i];
        if ((c & 0xC0) != 0x80)
            return 0xFFFD;
        cp = (cp << 6) | (c & 0x3F);
    }
    return cp;
}

} // namespace sepa
