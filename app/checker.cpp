#include "checker.h"

#include "checkresult.h"
#include "junitreport.h"
#include "paymentsoutput.h"
#include "platform/exception.h"
#include "platform/filename.h"
#include "platform/textfile.h"
#include "reporter.h"
#include "sepa/history.h"
#include "upgradecommand.h"
#include "validation/validationengine.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace checker {

namespace {

QString programName()
{
    return QStringLiteral("pravik-check");
}

bool parseJobs(const QString &value, int &jobs)
{
    bool ok = false;
    const int n = value.toInt(&ok);
    if (!ok || n < 1)
        return false;
    jobs = n;
    return true;
}

// --format FORMAT and --junit FILE, with the value as the next argument or after "=".
bool parseOptionValue(
    const QStringList &arguments, qsizetype &i, Options &options, QString &error, bool format)
{
    const QString &arg = arguments.at(i);
    const qsizetype eq = arg.indexOf(u'=');
    QString value;
    if (eq >= 0) {
        value = arg.mid(eq + 1);
    } else if (i + 1 < arguments.size()) {
        value = arguments.at(++i);
    } else {
        error = format ? QStringLiteral("option '%1' needs a format (text, json or junit)").arg(arg)
                       : QStringLiteral("option '%1' needs a file name").arg(arg);
        return false;
    }
    if (!format) {
        if (value.isEmpty() || value == u"-") {
            error = QStringLiteral("'%1' is not a file for the JUnit report (use --format junit for "
                                   "standard output)")
                        .arg(value);
            return false;
        }
        options.junitFile = value;
        return true;
    }
    if (value != u"text" && value != u"json" && value != u"junit") {
        error = QStringLiteral("'%1' is not a format (text, json or junit)").arg(value);
        return false;
    }
    options.json = value == u"json";
    options.junit = value == u"junit";
    return true;
}

// -o FILE, --output FILE, --output=FILE.
bool parseOutput(const QStringList &arguments, qsizetype &i, Options &options, QString &error)
{
    const QString &arg = arguments.at(i);
    if (arg.startsWith(u"--output="))
        options.output = arg.mid(9);
    else if (i + 1 < arguments.size())
        options.output = arguments.at(++i);
    else
        options.output.clear();
    if (options.output.isEmpty() || options.output == u"-") {
        error = QStringLiteral("option '%1' needs the name of the file to write").arg(arg);
        return false;
    }
    return true;
}

// The upgrade takes one file and writes one; -o, --force and --keep-failed mean nothing without it.
bool checkUpgradeOptions(const Options &options, QString &error)
{
    if (!options.upgrade) {
        if (!options.output.isEmpty() || options.force || options.keepFailed)
            error = QStringLiteral("-o, --force and --keep-failed belong to --upgrade");
        return error.isEmpty();
    }
    if (options.help || options.version)
        return true;
    if (options.files.size() != 1 || options.files.first() == u"-")
        error = QStringLiteral("--upgrade takes exactly one file (not standard input)");
    else if (options.json || options.junit || !options.junitFile.isEmpty() || options.rules)
        error = QStringLiteral(
            "--upgrade prints its own report: leave out --json, --format, --junit and --rules");
    return error.isEmpty();
}

void writeBytes(std::FILE *f, const QByteArray &bytes)
{
    if (!bytes.isEmpty())
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), f);
}

// A reporter and where its output goes: standard output, a file, or both.
struct Output
{
    std::unique_ptr<Reporter> reporter;
    bool toStandardOutput = false;
    QString file; // written whole at the end; empty for none
};

// What standard error says of a refused or unreadable file, in any format; empty for a checked one.
QByteArray diagnostics(const FileCheck &check)
{
    QString said;
    if (check.verdict == Verdict::Refused) {
        said = programName() + QStringLiteral(": ") + check.file + QStringLiteral(": ") + check.message;
        // The parser's own words on a line of their own, so that the refusal line stays as it is.
        if (const QString stop = stopText(check); !stop.isEmpty())
            said += u'\n' + programName() + QStringLiteral(": ") + check.file + QStringLiteral(": ") + stop;
        // What a file of a known message is, after the refusal, which stays as it is.
        if (!check.detail.isEmpty())
            said += u'\n' + programName() + QStringLiteral(": ") + check.file + QStringLiteral(": ")
                + check.detail;
    } else if (check.verdict == Verdict::Unreadable) {
        said = programName() + QStringLiteral(": ") + check.message; // the message names the file
    } else {
        return {};
    }
    // Through the file-name encoding, so that a name that is not UTF-8 is written as given.
    return encodeFileName(said + u'\n');
}

int exitStatus(const FileCheck &check, bool rulesStrict)
{
    switch (check.verdict) {
    case Verdict::Valid:
        return rulesStrict && check.hasRuleErrors() ? SomeInvalid : AllValid;
    case Verdict::Invalid:
        return SomeInvalid;
    case Verdict::Refused:
    case Verdict::Unreadable:
        break;
    }
    return SomeRefused;
}

} // namespace

bool parseArguments(const QStringList &arguments, Options &options, QString &error)
{
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (optionsEnded || !arg.startsWith(u'-') || arg == u"-") {
            options.files.append(arg);
        } else if (arg == u"--") {
            optionsEnded = true;
        } else if (arg == u"--help" || arg == u"-h") {
            options.help = true;
        } else if (arg == u"--version") {
            options.version = true;
        } else if (arg == u"--json") {
            options.json = true;
            options.junit = false;
        } else if (arg == u"--format" || arg.startsWith(u"--format=")) {
            if (!parseOptionValue(arguments, i, options, error, true))
                return false;
        } else if (arg == u"--junit" || arg.startsWith(u"--junit=")) {
            if (!parseOptionValue(arguments, i, options, error, false))
                return false;
        } else if (arg == u"--upgrade") {
            options.upgrade = true;
        } else if (arg == u"--force") {
            options.force = true;
        } else if (arg == u"--keep-failed") {
            options.keepFailed = true;
        } else if (arg == u"-o" || arg == u"--output" || arg.startsWith(u"--output=")) {
            if (!parseOutput(arguments, i, options, error))
                return false;
        } else if (arg == u"--rules") {
            options.rules = true;
        } else if (arg == u"--rules-strict") {
            options.rules = options.rulesStrict = true;
        } else if (arg == u"--summary") {
            options.summary = true;
        } else if (arg == u"--list") {
            options.list = true;
        } else if (arg == u"--no-history") {
            options.noHistory = true;
        } else if (arg == u"-j" || arg == u"--jobs") {
            if (i + 1 >= arguments.size()) {
                error = QStringLiteral("option '%1' needs a number of jobs").arg(arg);
                return false;
            }
            const QString value = arguments.at(++i);
            if (!parseJobs(value, options.jobs)) {
                error = QStringLiteral("'%1' is not a number of jobs (1 or more)").arg(value);
                return false;
            }
        } else if (arg.startsWith(u"--jobs=") || (arg.startsWith(u"-j") && !arg.startsWith(u"--"))) {
            const QString value = arg.mid(arg.startsWith(u"--") ? 7 : 2);
            if (!parseJobs(value, options.jobs)) {
                error = QStringLiteral("'%1' is not a number of jobs (1 or more)").arg(value);
                return false;
            }
        } else {
            error = QStringLiteral("unknown option '%1'").arg(arg);
            return false;
        }
    }
    if (options.files.count(QStringLiteral("-")) > 1) {
        error = QStringLiteral("standard input ('-') can be checked only once");
        return false;
    }
    if (options.files.isEmpty() && !options.help && !options.version) {
        error = QStringLiteral("no file given");
        return false;
    }
    if (!checkUpgradeOptions(options, error))
        return false;
    if (options.list && (options.json || options.junit || options.summary || options.upgrade)) {
        error = QStringLiteral(
            "--list prints only the list: leave out --json, --format, --summary and --upgrade");
        return false;
    }
    return true;
}

QByteArray helpText()
{
    return QStringLiteral(
        "Usage: %1 [OPTION]... FILE...\n"
        "  or:  %1 --upgrade [-o OUT] [--force] [--keep-failed] FILE\n"
        "Checks SEPA payment files (pain.001.001.09 credit transfers, pain.008.001.08 direct debits)\n"
        "against the German banks' validation schemas and prints every schema error.\n"
        "\n"
        "Options:\n"
        "  --json          print one JSON record per file and line instead of the report\n"
        "  --format FORMAT print the report as text (the default), json (as --json) or junit\n"
        "                  (a JUnit XML report: one test case per file, one failure per error)\n"
        "  --junit FILE    also write the JUnit XML report to FILE\n"
        "  --rules         also check the SEPA rules the schema cannot express (IBAN, creditor\n"
        "                  identifier, creditor reference and LEI check digits, NbOfTxs and CtrlSum,\n"
        "                  unique references, the DK character set, encoding, dates and business\n"
        "                  days, files checked before) and print their findings after the schema\n"
        "                  report, each with its code and severity (with --json: as \"rules\" in each\n"
        "                  record; with --format junit: as the test case's output)\n"
        "  --rules-strict  the same, and a finding of severity error makes the exit status 1 (and\n"
        "                  is a failure in the JUnit report)\n"
        "  --no-history    with the rules: neither warn of files checked before nor remember this\n"
        "                  one (the history is check-history.json in the settings folder)\n"
        "  --summary       after the report, print the payment information blocks with their\n"
        "                  number of transactions and sum, the totals per currency and of the\n"
        "                  file, the stated NbOfTxs and CtrlSum beside them (with --json: as\n"
        "                  \"summary\" in each record; in JUnit: as the test case's properties)\n"
        "  --list          print one CSV line per transaction instead of the report (UTF-8, ';'\n"
        "                  separated, a header first; the columns of the window's export)\n"
        "  -j, --jobs N    use N threads: files at a time, and the parts of a large file\n"
        "                  (default: one per processor, here %2; 1: one pass per file)\n"
        "  --upgrade       write FILE, a credit transfer in pain.001.001.03, pain.001.002.03 or\n"
        "                  pain.001.003.03 or a direct debit in pain.008.001.02, pain.008.002.02\n"
        "                  or pain.008.003.02, as pain.001.001.09 or pain.008.001.08; prints\n"
        "                  what to check by hand (split or unsplit addresses, elements left out)\n"
        "                  and the check of the result (as --rules --no-history reports it, with\n"
        "                  -j), which is written only when it passes\n"
        "  -o, --output OUT  the upgraded file (default: FILE's name with the new version, as\n"
        "                  payments.pain.001.001.09.xml); a file named here is replaced\n"
        "  --force         replace the default upgraded file (or the .failed.xml one) if\n"
        "                  it exists\n"
        "  --keep-failed   write a result that does not pass as OUT's name with .failed.xml (as\n"
        "                  payments.pain.001.001.09.failed.xml, marked so at its end) to be\n"
        "                  corrected by hand; it is not for a bank, the exit status stays 1\n"
        "  -h, --help      show this help and exit\n"
        "  --version       show the version and exit\n"
        "  --              every argument after it is a file, even one that begins with '-'\n"
        "\n"
        "A FILE of \"-\" is standard input, named \"<stdin>\" in reports (\"./-\" is a file named -).\n"
        "A file is read as UTF-8 or UTF-16 when its byte-order mark says so; without one as UTF-8\n"
        "when it is valid UTF-8, otherwise as Windows-1252. Reports follow in the order of the\n"
        "files; with several files each begins with a line \"==> FILE <==\".\n"
        "\n"
        "A file of a known ISO 20022 message without a bank schema (a retired or newer version,\n"
        "a status report, a statement) is refused, followed by a line saying what it is.\n"
        "\n"
        "Exit status: 0 every file is valid, 1 some file is invalid, 2 some file was refused or\n"
        "could not be read, the JUnit file could not be written, or the command line is wrong.\n"
        "Findings of the SEPA rules change it only with --rules-strict: then a file with a finding\n"
        "of severity error counts as invalid. With --upgrade: 0 the result passed and was\n"
        "written, 1 it would not pass (nothing written; with --keep-failed only the\n"
        ".failed.xml file), 2 the file cannot be upgraded or the result not written (the\n"
        "source is never changed).\n")
        .arg(programName())
        .arg(QThread::idealThreadCount())
        .toUtf8();
}

QByteArray versionText()
{
    return (programName() + u' ' + QStringLiteral(PRAVIK_VERSION) + u'\n').toUtf8();
}

template <typename Result>
void runInOrder(qsizetype count, int jobs, const std::function<Result(qsizetype)> &work,
    const std::function<void(qsizetype, Result &&)> &deliver)
{
    const qsizetype threads = qMin<qsizetype>(qMax(jobs, 1), count);
    if (threads <= 1) {
        for (qsizetype i = 0; i < count; ++i)
            deliver(i, work(i));
        return;
    }

    const qsizetype window = 2 * threads;
    std::mutex mutex;
    std::condition_variable changed;
    qsizetype nextToClaim = 0;
    qsizetype nextToDeliver = 0;
    std::deque<std::optional<Result>> pending; // results from nextToDeliver on

    auto worker = [&] {
        for (;;) {
            qsizetype index;
            {
                std::unique_lock lock(mutex);
                changed.wait(
                    lock, [&] { return nextToClaim >= count || nextToClaim < nextToDeliver + window; });
                if (nextToClaim >= count)
                    return;
                index = nextToClaim++;
            }
            Result result = work(index);
            {
                std::lock_guard lock(mutex);
                const qsizetype slot = index - nextToDeliver;
                while (qsizetype(pending.size()) <= slot)
                    pending.emplace_back();
                pending[size_t(slot)] = std::move(result);
            }
            changed.notify_all();
        }
    };

    std::vector<std::thread> pool;
    pool.reserve(size_t(threads));
    for (qsizetype t = 0; t < threads; ++t)
        pool.emplace_back(worker);

    for (qsizetype index = 0; index < count; ++index) {
        std::optional<Result> result;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return !pending.empty() && pending.front().has_value(); });
            result = std::move(*pending.front());
            pending.pop_front();
            ++nextToDeliver;
        }
        changed.notify_all();
        deliver(index, std::move(*result));
    }
    for (std::thread &t : pool)
        t.join();
}

template void runInOrder<QByteArray>(qsizetype, int, const std::function<QByteArray(qsizetype)> &,
    const std::function<void(qsizetype, QByteArray &&)> &);
template void runInOrder<FileOutcome>(qsizetype, int, const std::function<FileOutcome(qsizetype)> &,
    const std::function<void(qsizetype, FileOutcome &&)> &);

int run(const QStringList &arguments, std::FILE *out, std::FILE *err)
{
    Options options;
    QString error;
    if (!parseArguments(arguments, options, error)) {
        writeBytes(err,
            QStringLiteral("%1: %2\nTry '%1 --help' for more information.\n")
                .arg(programName(), error)
                .toUtf8());
        return SomeRefused;
    }
    if (options.help) {
        writeBytes(out, helpText());
        return AllValid;
    }
    if (options.version) {
        writeBytes(out, versionText());
        return AllValid;
    }
    if (options.upgrade)
        return runUpgrade(options, out, err);

    QElapsedTimer clock;
    clock.start();
    // The report on standard output, and the JUnit report beside it in a file when asked for.
    std::vector<Output> outputs;
    if (options.list)
        outputs.push_back({ std::make_unique<ListReporter>(), true, {} });
    else if (options.json)
        outputs.push_back({ std::make_unique<JsonReporter>(options.summary), true, {} });
    else if (!options.junit)
        outputs.push_back(
            { std::make_unique<TextReporter>(options.files.size() > 1, options.summary), true, {} });
    if (options.junit || !options.junitFile.isEmpty())
        outputs.push_back({ std::make_unique<JUnitReporter>(
                                QDateTime::currentDateTime(), options.rulesStrict, options.summary),
            options.junit, options.junitFile });
    std::vector<QByteArray> toFiles(outputs.size()); // what goes to a file is written at the end

    const int jobs = options.jobs > 0 ? options.jobs : QThread::idealThreadCount();
    // The threads left over by the files go to the parts of each large file.
    const int fileJobs = int(qMax<qsizetype>(1, jobs / qMax<qsizetype>(1, options.files.size())));
    SchemaCache cache;
    // Every file is judged against the history as it was when the run began, whatever the order the
    // workers finish in; what this run adds is written once at the end.
    const bool history
        = options.rules && !options.noHistory && qEnvironmentVariableIsEmpty("PRAVIK_NO_HISTORY");
    const sepa::History past = history ? sepa::History::load() : sepa::History();
    const RulesRun rulesRun { options.rules, history ? &past : nullptr, options.summary || options.list };
    std::vector<sepa::History::Entry> checked;

    // The workers also write each file's parts of the output, so that formatting runs in parallel too.
    std::function<FileOutcome(qsizetype)> work = [&](qsizetype i) {
        QElapsedTimer fileClock;
        fileClock.start();
        FileOutcome outcome;
        outcome.index = i;
        outcome.check = options.files.at(i) == u"-"
            ? checkStandardInput(cache, rulesRun, fileJobs)
            : checkFile(options.files.at(i), cache, rulesRun, fileJobs);
        outcome.seconds = double(fileClock.nsecsElapsed()) / 1e9;
        outcome.parts.reserve(outputs.size());
        for (const Output &o : outputs)
            outcome.parts.push_back(o.reporter->part(outcome));
        return outcome;
    };
    int status = AllValid;
    std::function<void(qsizetype, FileOutcome &&)> deliver = [&](qsizetype, FileOutcome &&outcome) {
        for (size_t r = 0; r < outputs.size(); ++r) {
            const QByteArray now = outputs[r].reporter->add(outcome, std::move(outcome.parts[r]));
            if (outputs[r].toStandardOutput)
                writeBytes(out, now);
            if (!outputs[r].file.isEmpty())
                toFiles[r] += now;
        }
        std::fflush(out);
        if (const QByteArray said = diagnostics(outcome.check); !said.isEmpty()) {
            writeBytes(err, said);
            std::fflush(err);
        }
        status = qMax(status, exitStatus(outcome.check, options.rulesStrict));
        if (outcome.check.historyEntry)
            checked.push_back(std::move(*outcome.check.historyEntry));
    };
    runInOrder(options.files.size(), jobs, work, deliver);

    if (history) {
        // The check itself is done and reported; a history that cannot be kept is only said.
        if (const QString failure = sepa::History::record(checked); !failure.isEmpty())
            writeBytes(err,
                encodeFileName(
                    programName() + QStringLiteral(": the history of checked files: ") + failure + u'\n'));
    }

    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    for (size_t r = 0; r < outputs.size(); ++r) {
        const QByteArray last = outputs[r].reporter->end(seconds);
        if (outputs[r].toStandardOutput)
            writeBytes(out, last);
        if (outputs[r].file.isEmpty())
            continue;
        try {
            writeFileAtomically(outputs[r].file, toFiles[r] + last);
        } catch (const Exception &e) {
            writeBytes(err, encodeFileName(programName() + QStringLiteral(": ") + e.message() + u'\n'));
            status = SomeRefused;
        }
    }

    if (std::ferror(out)) {
        writeBytes(err,
            (programName() + QStringLiteral(": the report could not be written completely.\n")).toUtf8());
        return SomeRefused;
    }
    return status;
}

} // namespace checker
