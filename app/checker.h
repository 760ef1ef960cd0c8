#pragma once
// pravik-check: validates payment files from the command line, for scripts and pipelines. Prints the
// report the window would show (or JSON) for each file, in the order the files were given.

#include <QByteArray>
#include <QStringList>

#include <cstdio>
#include <functional>

namespace checker {

enum ExitStatus
{
    AllValid = 0,
    SomeInvalid = 1,
    SomeRefused = 2, // also for a wrong command line
};

struct Options
{
    QStringList files;
    bool json = false;
    bool junit = false; // --format junit: the JUnit report on stdout instead of the report
    QString junitFile; // --junit FILE: the JUnit report also written to FILE
    bool rules = false; // the SEPA rules' report after the schema report
    bool rulesStrict = false; // findings of severity error make the exit status 1; implies rules
    bool summary = false; // --summary: the payments' blocks and totals after the report
    bool list = false; // --list: the transactions as CSV instead of the report
    bool noHistory = false; // --no-history: no warning of files checked before, nothing remembered
    int jobs = 0; // 0: one per processor
    bool help = false;
    bool version = false;
    bool upgrade = false; // --upgrade: write the file in the version the banks take (upgradecommand.h)
    QString output; // -o FILE: where the upgrade writes, replacing a file of that name
    bool force = false; // --force: the upgrade may replace the file it writes by default
    bool keepFailed = false; // --keep-failed: a result that does not pass is written as NAME.failed.xml
};

// Parses the arguments (without the program name). Returns false with a message for a bad command line.
bool parseArguments(const QStringList &arguments, Options &options, QString &error);

QByteArray helpText();
QByteArray versionText();

// Runs work(i) for every i in [0, count) on up to `jobs` threads and hands each result to deliver on
// the calling thread in index order, as soon as it and all before it are done. Work runs at most
// 2 * jobs places ahead of delivery, so that only a bounded number of results wait. Defined for
// the results QByteArray and FileOutcome (reporter.h).
template <typename Result>
void runInOrder(qsizetype count, int jobs, const std::function<Result(qsizetype)> &work,
    const std::function<void(qsizetype, Result &&)> &deliver);

// The whole program: returns its exit status.
int run(const QStringList &arguments, std::FILE *out, std::FILE *err);

} // namespace checker
