#pragma once
// One document validated on several threads: the pre-scan cuts it into chunks (chunkplan.h), each is
// validated on its own, and their errors are merged in document order into exactly the outcome of
// one pass. Whatever a chunk cannot stand for (text that is not well-formed, a block refused by its
// parent) makes the whole document go through one pass instead; that choice never shows.

#include "platform/textformat.h"
#include "validation/xmlservices.h"

#include <functional>

namespace xmlservices {

struct ChunkedRun
{
    int jobs = 1; // threads for the chunks; 1: one pass
    qsizetype chunkBytes = 0; // about this many bytes per chunk; 0: chosen from the size and jobs
    // Told after each chunk, from the thread that validated it; not told in one pass.
    std::function<void(qsizetype done, qsizetype total)> progress;
    // Set to the number of chunks the outcome was merged from; 0 when it came from one pass.
    qsizetype *chunksUsed = nullptr;
};

// About how many bytes a chunk has when run.chunkBytes is 0.
qsizetype defaultChunkBytes(qsizetype size, int jobs);

// validate() with the work spread as run says; the observer (the SEPA rules) follows one parse of
// the whole document beside the chunks. The outcome, errors and stop are validate()'s.
LoadResult validateChunked(const QByteArray &utf8, const Schema &schema, const QString &documentNamespace,
    ParseError &errors, DocumentObserver *observer, const ChunkedRun &run);

// toUtf8Text() with its UTF-8 check spread over `jobs` threads, and `beside` (compiling the schema)
// run on one of them meanwhile, so that neither waits for the other before the chunks start. The
// text and encoding are toUtf8Text()'s; beside runs once, and what it throws is dropped.
QByteArray toUtf8TextOnThreads(
    const QByteArray &bytes, TextEncoding *encoding, int jobs, const std::function<void()> &beside);

} // namespace xmlservices
