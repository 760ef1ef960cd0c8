#include "chunkedvalidation.h"

#include "chunkplan.h"

#include "platform/textformat.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
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
    const qsizetype start = utf8ByteOrderMarkLength(utf8);
    if (utf8.size() - start < 2 * target)
        return validate(utf8, schema, documentNamespace, errors, observer);

    // The pre-scan runs on this thread and hands each chunk over as soon as it is final; the
    // workers take them in order. A deque keeps the chunks and their outcomes where they are while
    // more are added.
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<chunking::Chunk> chunks;
    std::deque<std::optional<ChunkOutcome>> outcomes;
    qsizetype next = 0;
    bool scanned = false;
    std::atomic<qsizetype> done { 0 };
    std::atomic<bool> onePass { false };
    std::exception_ptr failure;
    auto fail = [&] {
        std::lock_guard lock(mutex);
        if (!failure)
            failure = std::current_exception();
        onePass = true;
    };

    auto worker = [&] {
        try {
            QByteArray buffer;
            for (;;) {
                const chunking::Chunk *chunk = nullptr;
                std::optional<ChunkOutcome> *slot = nullptr;
                qsizetype total = 0;
                {
                    std::unique_lock lock(mutex);
                    changed.wait(lock, [&] { return onePass || next < qsizetype(chunks.size()) || scanned; });
                    if (onePass || next >= qsizetype(chunks.size()))
                        return;
                    chunk = &chunks[size_t(next)];
                    slot = &outcomes[size_t(next)];
                    ++next;
                    total = qsizetype(chunks.size());
                }
                ChunkOutcome outcome = validateChunk(utf8, *chunk, schema, documentNamespace, buffer);
                if (outcome.untrusted || outcome.result == LoadResult::NotWellFormed) {
                    {
                        std::lock_guard lock(mutex);
                        onePass = true;
                    }
                    changed.notify_all();
                }
                *slot = std::move(outcome);
                const qsizetype finished = ++done;
                if (run.progress)
                    run.progress(finished, total);
            }
        } catch (...) {
            fail();
            changed.notify_all();
        }
    };

    std::vector<std::thread> threads;
    threads.reserve(size_t(run.jobs) + 1);
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
    for (int t = 0; t < run.jobs; ++t)
        threads.emplace_back(worker);
    bool planned = false;
    try {
        planned = chunking::plan(utf8, start, target, [&](chunking::Chunk &&c) {
            {
                std::lock_guard lock(mutex);
                chunks.push_back(std::move(c));
                outcomes.emplace_back();
            }
            changed.notify_one();
        });
    } catch (...) {
        fail();
    }
    {
        std::lock_guard lock(mutex);
        scanned = true;
        if (!planned)
            onePass = true;
    }
    changed.notify_all();
    for (std::thread &t : threads)
        t.join();
    if (failure)
        std::rethrow_exception(failure);
    // The observer has seen the document; one pass only validates.
    if (onePass || observed == LoadResult::NotWellFormed)
        return validate(utf8, schema, documentNamespace, errors, nullptr);

    const qsizetype total = qsizetype(chunks.size());
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
