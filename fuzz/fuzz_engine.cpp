// Arbitrary text through the whole engine: it must refuse or report, never crash, hang or leak.

#include "validation/validationengine.h"
#include "validation/xmlservices.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static SchemaCache cache;
    // The first byte picks a namespace prefix so that both schemas get exercised, not just the probe.
    static const QByteArray roots[] = {
        QByteArray(),
        QByteArrayLiteral("<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.001.001.09\">"),
        QByteArrayLiteral("<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.008.001.08\">"),
    };
    if (size == 0)
        return 0;
    QByteArray text = roots[data[0] % 3];
    text.append(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    std::unique_ptr<TXMLParseErrors> errors;
    try {
        const bool valid = ValidationEngine::ValidateXMLUtf8(text, errors, &cache);
        if (valid == bool(errors))
            __builtin_trap(); // a verdict and its error list must agree
        if (errors) {
            TTaggedLines lines;
            errors->ToStrings(lines, [](int32_t, int32_t) {});
            if (lines.size() != errors->size() * 7)
                __builtin_trap();
        }
    } catch (const ESEPAXMLValidateException &) {
    } catch (const xmlservices::EXMLServicesError &) {
    }
    return 0;
}
