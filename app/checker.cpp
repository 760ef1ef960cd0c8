#include "checker.h"

#include "checkresult.h"
#include "junitreport.h"
#include "paymentsoutput.h"
#include "platform/exception.h"
#include "platform/filename.h"
#include "platform/textfile.h"
#include "sepa/history.h"
#include "upgradecommand.h"
#include "validation/validationengine.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QThread>

#include <condition_variable>
#include <deque>
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

// The upgrade takes one file and writes one; -o and --force mean nothing without it.
bool checkUpgradeOptions(const Options &options, QString &error)
{
    if (!options.upgrade) {
        if (!options.output.isEmpty() || options.force)
            error = QStringLiteral("-o and --force belong to --upgrade");
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
        "  or:  %1 --upgrade [-o OUT] [--force] FILE\n"
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
        "  -j, --jobs N    check N files at a time (default: one per processor, here %2)\n"
        "  --upgrade       write FILE, a credit transfer in pain.001.001.03, pain.001.002.03 or\n"
        "                  pain.001.003.03 or a direct debit in pain.008.001.02, pain.008.002.02\n"
        "                  or pain.008.003.02, as pain.001.001.09 or pain.008.001.08; prints\n"
        "                  what to check by hand (split or unsplit addresses, elements left out)\n"
        "                  and the check of the result, which is written only when it passes\n"
        "  -o, --output OUT  the upgraded file (default: FILE's name with the new version, as\n"
        "                  payments.pain.001.001.09.xml); a file named here is replaced\n"
        "  --force         replace the default upgraded file when it exists\n"
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
        "written, 1 it would not pass (nothing written), 2 the file cannot be upgraded or the\n"
        "result not written (the source is never changed).\n")
        .arg(programName())
        .arg(QThread::idealThreadCount())
        .toUtf8();
}

QByteArray versionText()
{
    return (programName() + u' ' + QStringLiteral(PRAVIK_VERSION) + u'\n').toUtf8();
}

void runInOrder(qsizetype count, int jobs, const std::function<QByteArray(qsizetype)> &work,
    const std::function<void(qsizetype, QByteArray &&)> &deliver)
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
    std::deque<std::optional<QByteArray>> pending; // results from nextToDeliver on

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
            QByteArray result = work(index);
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
        QByteArray result;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return !pending.empty() && pending.front().has_value(); });
            result = std::move(*pending.front());
            pending.pop_front();
            ++nextToDeliver;
        }
        changed.notify_all();
        deliver(index, std::move(result));
    }
    for (std::thread &t : pool)
        t.join();
}

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

    const bool headers = !options.json && !options.junit && options.files.size() > 1;
    const bool junit = options.junit || !options.junitFile.isEmpty();
    QElapsedTimer clock;
    clock.start();
    JUnitReport junitReport(QDateTime::currentDateTime());
    std::vector<QByteArray> testCases(junit ? size_t(options.files.size()) : 0);
    const int jobs = options.jobs > 0 ? options.jobs : QThread::idealThreadCount();
    SchemaCache cache;
    std::vector<Verdict> verdicts(size_t(options.files.size()), Verdict::Valid);
    std::vector<QString> messages(size_t(options.files.size()));
    std::vector<char> ruleErrors(size_t(options.files.size()), 0);
    // Every file is judged against the history as it was when the run began, whatever the order the
    // workers finish in; what this run adds is written once at the end.
    const bool history
        = options.rules && !options.noHistory && qEnvironmentVariableIsEmpty("PRAVIK_NO_HISTORY");
    const sepa::History past = history ? sepa::History::load() : sepa::History();
    const RulesRun rulesRun { options.rules, history ? &past : nullptr, options.summary || options.list };
    if (options.list)
        writeBytes(out, sepa::Payments::csvHeader());
    std::vector<std::optional<sepa::History::Entry>> historyEntries(size_t(options.files.size()));

    // The workers write each file's whole output, so that formatting runs in parallel too; the
    // verdict and message travel beside it.
    auto work = [&](qsizetype i) {
        QElapsedTimer fileClock;
        fileClock.start();
        const FileCheck check = options.files.at(i) == u"-" ? checkStandardInput(cache, rulesRun)
                                                            : checkFile(options.files.at(i), cache, rulesRun);
        verdicts[size_t(i)] = check.verdict;
        ruleErrors[size_t(i)] = check.hasRuleErrors();
        historyEntries[size_t(i)] = check.historyEntry;
        if (junit)
            testCases[size_t(i)]
                = junitTestCase(check, double(fileClock.nsecsElapsed()) / 1e9, options.rulesStrict);
        if (junit && options.summary && check.payments)
            testCases[size_t(i)] = withJUnitSummary(std::move(testCases[size_t(i)]), *check.payments);
        if (check.verdict == Verdict::Refused) {
            messages[size_t(i)] = check.file + QStringLiteral(": ") + check.message;
            // The parser's own words on a line of their own, so that the refusal line stays as it is.
            if (const QString stop = stopText(check); !stop.isEmpty())
                messages[size_t(i)] += u'\n' + programName() + QStringLiteral(": ") + check.file
                    + QStringLiteral(": ") + stop;
            // What a file of a known message is, after the refusal, which stays as it is.
            if (!check.detail.isEmpty())
                messages[size_t(i)] += u'\n' + programName() + QStringLiteral(": ") + check.file
                    + QStringLiteral(": ") + check.detail;
        } else if (check.verdict == Verdict::Unreadable)
            messages[size_t(i)] = check.message; // already names the file
        if (options.list)
            return check.payments ? listText(*check.payments) : QByteArray();
        if (options.json)
            return options.summary && check.payments ? withJsonSummary(jsonRecord(check), *check.payments)
                                                     : jsonRecord(check);
        if (options.junit)
            return QByteArray();
        QByteArray text;
        if (headers) {
            if (i > 0)
                text += '\n';
            text += "==> " + encodeFileName(check.file) + " <==\n";
        }
        text += textReport(check);
        if (options.summary && check.payments)
            text += summaryText(*check.payments);
        return text;
    };
    int status = AllValid;
    auto deliver = [&](qsizetype i, QByteArray &&output) {
        writeBytes(out, output);
        std::fflush(out);
        if (!messages[size_t(i)].isEmpty()) {
            // Through the file-name encoding, so that a name that is not UTF-8 is written as given.
            writeBytes(
                err, encodeFileName(programName() + QStringLiteral(": ") + messages[size_t(i)] + u'\n'));
            std::fflush(err);
        }
        const Verdict v = verdicts[size_t(i)];
        const bool strictFailure = options.rulesStrict && ruleErrors[size_t(i)];
        if (junit)
            junitReport.add(v, strictFailure, std::exchange(testCases[size_t(i)], QByteArray()));
        status = qMax(status,
            v == Verdict::Valid         ? int(AllValid)
                : v == Verdict::Invalid ? int(SomeInvalid)
                                        : int(SomeRefused));
        if (strictFailure)
            status = qMax(status, int(SomeInvalid));
    };
    runInOrder(options.files.size(), jobs, work, deliver);

    if (history) {
        std::vector<sepa::History::Entry> checked;
        for (std::optional<sepa::History::Entry> &e : historyEntries) {
            if (e)
                checked.push_back(std::move(*e));
        }
        // The check itself is done and reported; a history that cannot be kept is only said.
        if (const QString failure = sepa::History::record(checked); !failure.isEmpty())
            writeBytes(err,
                encodeFileName(
                    programName() + QStringLiteral(": the history of checked files: ") + failure + u'\n'));
    }

    if (junit) {
        const QByteArray document = junitReport.document(double(clock.nsecsElapsed()) / 1e9);
        if (options.junit)
            writeBytes(out, document);
        if (!options.junitFile.isEmpty()) {
            try {
                writeFileAtomically(options.junitFile, document);
            } catch (const Exception &e) {
                writeBytes(err, encodeFileName(programName() + QStringLiteral(": ") + e.message() + u'\n'));
                status = SomeRefused;
            }
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
