// File bytes → text → bytes must give back the same bytes, whatever the file holds.

#include "platform/textfile.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const DecodedText decoded = decodeText(bytes);
    if (encodeText(decoded.text, decoded.encoding) != bytes)
        __builtin_trap();
    TextEncoding encoding;
    const QByteArray utf8 = toUtf8Text(bytes, &encoding);
    if (encoding != decoded.encoding)
        __builtin_trap();
    (void)utf8;
    return 0;
}
