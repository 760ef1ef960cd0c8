// The chunked validation's costs on one file, measured on one thread so that a loaded machine does
// not blur them: one pass, the pre-scan and when it hands each chunk over, each chunk's CPU time; and
// from these the wall time the design predicts for N threads (the chunks taken in order by N workers
// as the pre-scan hands them over), without and with the start-up before the validation.
// Usage: chunk_profile FILE [threads...]   (default threads: 1 2 4 8)

#include "platform/textformat.h"
#include "validation/chunkedvalidation.h"
#include "validation/chunkplan.h"
#include "validation/mappedfile.h"
#include "validation/validationengine.h"
#include "validation/xmlservices.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

double cpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Chunks taken in order, each once the pre-scan handed it over, by whichever of n threads is free
// first; one of them runs the pre-scan first.
double makespan(const std::vector<double> &chunks, const std::vector<double> &ready, double scan, int n)
{
    std::vector<double> free(size_t(n), 0.0);
    free[0] = scan;
    for (size_t i = 0; i < chunks.size(); ++i) {
        auto first = std::min_element(free.begin(), free.end());
        *first = std::max(*first, ready[i]) + chunks[i];
    }
    return *std::max_element(free.begin(), free.end());
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: chunk_profile FILE [threads...]\n");
        return 2;
    }
    std::vector<int> threads;
    for (int i = 2; i < argc; ++i)
        threads.push_back(std::atoi(argv[i]));
    if (threads.empty())
        threads = { 1, 2, 4, 8 };

    // The start-up before any validation: the UTF-8 check of the text (its pages read for the first
    // time), the namespace probe and the schema's compilation.
    MappedFile file;
    const QByteArray bytes = file.open(QString::fromLocal8Bit(argv[1]));
    double t = cpuSeconds();
    const QByteArray utf8 = toUtf8Text(bytes);
    const double check = cpuSeconds() - t;
    t = cpuSeconds();
    const QString ns = xmlservices::firstNamespace(utf8);
    const double probe = cpuSeconds() - t;
    SchemaCache cache;
    t = cpuSeconds();
    const auto schema = cache.schema(ValidationEngine::resourceNameForNamespace(ns));
    const double compile = cpuSeconds() - t;
    if (!schema) {
        std::fprintf(stderr, "no schema for this file\n");
        return 2;
    }
    std::printf("start-up: UTF-8 check %.3f s, namespace probe %.3f s, schema compiled in %.3f s\n", check,
        probe, compile);

    t = cpuSeconds();
    xmlservices::ParseError errors;
    xmlservices::validate(utf8, *schema, ns, errors);
    const double onePass = cpuSeconds() - t;
    std::printf("file %lld bytes, %lld errors listed; one pass: %.3f s CPU\n", qint64(utf8.size()),
        qint64(errors.allErrors().size()), onePass);

    for (const int n : threads) {
        // The chunk size pravik-check chooses for n threads.
        const qsizetype target = xmlservices::defaultChunkBytes(utf8.size(), n);
        // The pre-scan hands chunks over as it goes: note when each became ready.
        std::vector<chunking::Chunk> plan;
        std::vector<double> ready;
        t = cpuSeconds();
        chunking::plan(utf8, utf8ByteOrderMarkLength(utf8), target, [&](chunking::Chunk &&c) {
            ready.push_back(cpuSeconds() - t);
            plan.push_back(std::move(c));
        });
        const double scan = cpuSeconds() - t;
        std::vector<double> chunks;
        QByteArray buffer;
        for (const chunking::Chunk &c : plan) {
            t = cpuSeconds();
            xmlservices::validateChunk(utf8, c, *schema, ns, buffer);
            chunks.push_back(cpuSeconds() - t);
        }
        double sum = 0;
        for (const double c : chunks)
            sum += c;
        // Before the pre-scan, pravik-check checks the text on n threads while one of them compiles
        // the schema, then probes the namespace.
        const double wall = makespan(chunks, ready, scan, n);
        const double startUp
            = n > 1 ? std::max(compile, (check + compile) / n) + probe : check + compile + probe;
        const double whole = startUp + wall;
        const double wholeOnePass = check + compile + probe + onePass;
        std::printf("%d threads: %zu chunks; pre-scan %.3f s (%.1f %% of one pass, first chunk after %.3f "
                    "s); chunks %.3f s CPU in all "
                    "(with the pre-scan %.1f %% more than one pass), largest %.3f s; predicted wall %.3f s = "
                    "%.2f x one pass; with the start-up %.3f s = %.2f x one pass with its start-up\n",
            n, chunks.size(), scan, 100 * scan / onePass, ready.empty() ? 0.0 : ready.front(), sum,
            100 * (sum + scan - onePass) / onePass,
            chunks.empty() ? 0.0 : *std::max_element(chunks.begin(), chunks.end()), wall, wall / onePass,
            whole, whole / wholeOnePass);
    }
    return 0;
}
