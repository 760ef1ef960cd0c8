#include "chunkedvalidation.h"

#include "chunkplan.h"

#include "platform/textformat.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace xmlservices {

namespace {

qsizetype chunkBytesFor(qsizetype size, int jobs)
{
    // Several chunks per thread even out chunks of unequal cost; a chunk well above its skeleton.
    constexpr qsizetype kMin = qsizetype(256) << 10;
    constexpr qsizetype kMax = qsizetype(16) << 20;
    return std::clamp(size / (qsizetype(jobs) * 4), kMin, kMax);
}

} // namespace

LoadResult validateChunked(const QByteArray &utf8, const Schema &schema, const QString &documentNamespace,
    ParseError &errors, DocumentObserver *observer, const ChunkedRun &run)
{
    if (run.chunksUsed)
        *run.chunksUsed = 0;
    if (run.jobs <= 1)
        return validate(utf8, schema, documentNamespace, errors, observer);
    const qsizetype target = run.chunkBytes > 0 ? run.chunkBytes : chunkBytesFor(utf8.size(), run.jobs);
    const chunking::Plan plan = chunking::plan(utf8, utf8ByteOrderMarkLength(utf8), target);
    if (plan.chunks.empty())
        return validate(utf8, schema, documentNamespace, errors, observer);

    const qsizetype total = qsizetype(plan.chunks.size());
    std::vector<std::optional<ChunkOutcome>> outcomes(plan.chunks.size());
    std::atomic<qsizetype> next { 0 };
    std::atomic<qsizetype> done { 0 };
    std::atomic<bool> onePass { false };
    std::mutex failureMutex;
    std::exception_ptr failure;
    auto fail = [&] {
        std::lock_guard lock(failureMutex);
        if (!failure)
            failure = std::current_exception();
        onePass = true;
    };

    auto worker = [&] {
        try {
            QByteArray buffer;
            for (;;) {
                const qsizetype i = next.fetch_add(1);
                if (i >= total || onePass)
                    return;
                ChunkOutcome outcome
                    = validateChunk(utf8, plan.chunks[size_t(i)], schema, documentNamespace, buffer);
                if (outcome.untrusted || outcome.result == LoadResult::NotWellFormed)
                    onePass = true;
                outcomes[size_t(i)] = std::move(outcome);
                const qsizetype finished = ++done;
                if (run.progress)
                    run.progress(finished, total);
            }
        } catch (...) {
            fail();
        }
    };

    std::vector<std::thread> threads;
    const qsizetype workers = std::min<qsizetype>(run.jobs, total);
    threads.reserve(size_t(workers) + 1);
    LoadResult observed = LoadResult::Valid;
    if (observer) {
        threads.emplace_back([&] {
            try {
                observed = observe(utf8, *observer);
            } catch (...) {
                fail();
            }
        });
    }
    for (qsizetype t = 0; t < workers; ++t)
        threads.emplace_back(worker);
    for (std::thread &t : threads)
        t.join();
    if (failure)
        std::rethrow_exception(failure);
    // The observer has seen the document; one pass only validates.
    if (onePass || observed == LoadResult::NotWellFormed)
        return validate(utf8, schema, documentNamespace, errors, nullptr);

    if (run.chunksUsed)
        *run.chunksUsed = total;
    ParseError merged;
    int64_t listed = 0;
    int64_t unlisted = 0;
    for (std::optional<ChunkOutcome> &outcome : outcomes) {
        for (ParseErrorEntry &e : outcome->errors) {
            if (listed < kMaxListedErrors) {
                merged.append(std::move(e));
                ++listed;
            } else {
                ++unlisted;
            }
        }
        unlisted += outcome->unlisted;
    }
    if (listed == 0 && unlisted == 0)
        return LoadResult::Valid;
    merged.setUnlisted(unlisted);
    errors = std::move(merged);
    return LoadResult::Invalid;
}

} // namespace xmlservices
