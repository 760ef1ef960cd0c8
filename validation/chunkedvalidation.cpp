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

// Below this the check takes less than starting a thread.
constexpr qsizetype kMinThreadedCheck = qsizetype(1) << 20;

// The UTF-8 check in pieces taken by whichever thread is free, so that the one that runs `beside`
// first takes fewer. A piece begins on a character's first byte: moving the cut back over at most
// three continuation bytes never splits a valid character, and more of them make any cut invalid.
// beside must not throw.
bool isValidUtf8OnThreads(const char *data, qsizetype size, int jobs, const std::function<void()> &beside)
{
    constexpr int kPieces = 32;
    qsizetype bounds[kPieces + 1];
    bounds[0] = 0;
    bounds[kPieces] = size;
    for (int i = 1; i < kPieces; ++i) {
        qsizetype cut = size / kPieces * i;
        for (int back = 0; back < 3 && isUtf8Continuation(static_cast<unsigned char>(data[cut])); ++back)
            --cut;
        bounds[i] = cut;
    }
    std::atomic<int> next { 0 };
    std::atomic<bool> invalid { false };
    auto check = [&] {
        for (int i; !invalid && (i = next++) < kPieces;) {
            if (!isValidUtf8(data + bounds[i], bounds[i + 1] - bounds[i]))
                invalid = true;
        }
    };
    std::vector<std::thread> helpers;
    try {
        helpers.reserve(size_t(jobs - 1));
        helpers.emplace_back([&] {
            beside();
            check();
        });
        for (int t = 2; t < jobs; ++t)
            helpers.emplace_back(check);
    } catch (...) {
        // Without a thread this one takes every piece.
    }
    if (helpers.empty())
        beside();
    check();
    for (std::thread &t : helpers)
        t.join();
    return !invalid;
}

} // namespace

qsizetype defaultChunkBytes(qsizetype size, int jobs)
{
    // Several chunks per thread even out chunks of unequal cost; a chunk well above its skeleton.
    constexpr qsizetype kMin = qsizetype(256) << 10;
    constexpr qsizetype kMax = qsizetype(16) << 20;
    return std::clamp(size / (qsizetype(jobs) * 4), kMin, kMax);
}

QByteArray toUtf8TextOnThreads(
    const QByteArray &bytes, TextEncoding *encoding, int jobs, const std::function<void()> &beside)
{
    auto runBeside = [&] {
        try {
            if (beside)
                beside();
        } catch (...) {
        }
    };
    if (jobs <= 1 || bytes.size() < kMinThreadedCheck) {
        runBeside();
        return toUtf8Text(bytes, encoding);
    }
    if (!isValidUtf8OnThreads(bytes.constData(), bytes.size(), jobs, runBeside))
        return toUtf8Text(bytes, encoding); // another encoding: converted as always
    // Valid UTF-8 can start with no byte-order mark but UTF-8's; toUtf8Text() would check it again.
    const qsizetype mark = utf8ByteOrderMarkLength(bytes);
    if (encoding)
        *encoding = mark > 0 ? TextEncoding::Utf8Bom : TextEncoding::Utf8;
    return mark > 0 ? bytes.sliced(mark) : bytes;
}

LoadResult validateChunked(const QByteArray &utf8, const Schema &schema, const QString &documentNamespace,
    ParseError &errors, DocumentObserver *observer, const ChunkedRun &run)
{
    if (run.chunksUsed)
        *run.chunksUsed = 0;
    if (run.jobs <= 1)
        return validate(utf8, schema, documentNamespace, errors, observer);
    const qsizetype target = run.chunkBytes > 0 ? run.chunkBytes : defaultChunkBytes(utf8.size(), run.jobs);
    const qsizetype start = utf8ByteOrderMarkLength(utf8);
    if (utf8.size() - start < 2 * target)
        return validate(utf8, schema, documentNamespace, errors, observer);

    // The pre-scan runs on this thread and hands each chunk over as soon as it is final; the
    // workers take them in order, and this thread joins them when the pre-scan is done, so that no
    // more threads than jobs compete for the processors. A deque keeps the chunks and their outcomes
    // where they are while more are added.
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
    for (int t = 1; t < run.jobs; ++t)
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
    worker();
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
