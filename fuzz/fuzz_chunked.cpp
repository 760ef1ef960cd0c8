// Differential: a mutated payment document validated in one pass and in chunks must give the very
// same outcome: verdict, every error with its fields, the count beyond the cap, the refusal.

#include "validation/chunkedvalidation.h"
#include "validation/validationengine.h"
#include "validation/xmlservices.h"

#include <cstdint>

namespace {

bool same(const xmlservices::ParseErrorEntry &a, const xmlservices::ParseErrorEntry &b)
{
    return a.srcText == b.srcText && a.reason == b.reason && a.xpath == b.xpath && a.errorCode == b.errorCode
        && a.line == b.line && a.linepos == b.linepos && a.filepos == b.filepos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static SchemaCache cache;
    // The first byte picks the chunk size, so that cuts fall at every place the pre-scan allows.
    if (size < 2)
        return 0;
    const QByteArray text(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const QString ns = xmlservices::firstNamespace(text);
    if (ns.isEmpty())
        return 0;
    std::shared_ptr<const xmlservices::Schema> schema;
    try {
        schema = cache.schema(ValidationEngine::resourceNameForNamespace(ns));
    } catch (const xmlservices::EXMLServicesError &) {
        return 0;
    }
    if (!schema)
        return 0;
    xmlservices::ParseError one;
    const xmlservices::LoadResult oneResult = xmlservices::validate(text, *schema, ns, one);
    xmlservices::ParseError chunked;
    xmlservices::ChunkedRun run;
    run.jobs = 2;
    run.chunkBytes = 1 + qsizetype(data[0]) * 8;
    const xmlservices::LoadResult chunkedResult
        = xmlservices::validateChunked(text, *schema, ns, chunked, nullptr, run);
    if (oneResult != chunkedResult || one.unlisted() != chunked.unlisted()
        || one.allErrors().size() != chunked.allErrors().size() || !same(one.stop(), chunked.stop()))
        __builtin_trap();
    for (qsizetype i = 0; i < one.allErrors().size(); ++i) {
        if (!same(one.allErrors()[i], chunked.allErrors()[i]))
            __builtin_trap();
    }
    return 0;
}
