// Error records built from arbitrary bytes, copied and written as a report.

#include "validation/xmlparseerrors.h"
#include "validation/xmlservices.h"

#include <cstdint>
#include <cstring>

namespace {
int32_t take32(const uint8_t *&p, const uint8_t *end)
{
    uint32_t v = 0;
    const size_t n = std::min<size_t>(4, size_t(end - p));
    std::memcpy(&v, p, n);
    p += n;
    return int32_t(v);
}

QString takeText(const uint8_t *&p, const uint8_t *end)
{
    if (p == end)
        return {};
    const size_t want = *p++;
    const size_t n = std::min<size_t>(want, size_t(end - p));
    QString s = QString::fromUtf8(reinterpret_cast<const char *>(p), qsizetype(n));
    p += n;
    return s;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const uint8_t *p = data;
    const uint8_t *end = data + size;
    xmlservices::ParseError pe;
    while (p != end) {
        xmlservices::ParseErrorEntry e;
        e.srcText = takeText(p, end);
        e.reason = takeText(p, end);
        e.xpath = takeText(p, end);
        e.errorCode = take32(p, end) | 1; // nonzero: a recorded error always has a code
        e.line = take32(p, end);
        e.linepos = take32(p, end);
        e.filepos = take32(p, end);
        pe.append(e);
    }
    const TXMLParseErrors list = TXMLParseErrors::Create(pe);
    TTaggedLines tagged;
    qsizetype calls = 0;
    list.ToStrings(tagged, [&](int32_t tag, int32_t) {
        if (tag != ++calls)
            __builtin_trap();
    });
    TTaggedLines plain;
    list.ToStrings(plain);
    if (tagged.size() != plain.size() || (!list.isEmpty() && tagged.size() != list.size() * 7))
        __builtin_trap();
    for (const auto &item : list) {
        if (!item.FSrcText.isEmpty()
            && (item.FSrcText.front().unicode() <= 32 || item.FSrcText.back().unicode() <= 32))
            __builtin_trap();
    }
    return 0;
}
