// Arbitrary text through the engine with the SEPA rules in its pass: no crash, hang or leak, and
// findings in document order with positions that exist.

#include "sepa/rulespass.h"
#include "validation/validationengine.h"
#include "validation/xmlservices.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static SchemaCache cache;
    // The first byte picks a namespace prefix, so that the rules see payment messages, and how the
    // file was stored.
    static const QByteArray roots[] = {
        QByteArray(),
        QByteArrayLiteral("<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.001.001.09\">"),
        QByteArrayLiteral("<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.008.001.08\">"),
    };
    if (size == 0)
        return 0;
    QByteArray text = roots[data[0] % 3];
    const auto encoding = TextEncoding(data[0] / 3 % 5);
    text.append(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    std::unique_ptr<TXMLParseErrors> errors;
    sepa::RulesPass rules(text, encoding);
    try {
        ValidationEngine::ValidateXMLUtf8(text, errors, &cache, &rules);
    } catch (const ESEPAXMLValidateException &) {
        return 0;
    } catch (const xmlservices::EXMLServicesError &) {
        return 0;
    }
    int32_t last = 0;
    for (const sepa::Finding &f : rules.finish()) {
        if (f.line < 1 || f.linePos < 1 || f.filePos < last || f.code.isEmpty() || f.english.isEmpty())
            __builtin_trap();
        last = f.filePos;
    }
    return 0;
}
