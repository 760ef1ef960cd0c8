#pragma once
// Runs one of our programs as its users run it and collects what it did: the exit status, standard
// output and standard error. Also outside ctest, no run remembers the files it checked (each would
// see the others' files) and the dates of the fixed files are judged on the day they were written
// for, as the test environment has it. Header-only.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace testsupport {

struct Run
{
    int status = -1; // -1 when the program crashed or did not finish in time
    QByteArray out;
    QByteArray err;
};

struct RunOptions
{
    QString workingDirectory; // empty: the test's own
    QByteArray input; // written to standard input, which is then closed (also when empty)
    QList<QPair<QString, QString>> environment; // set after the defaults, so they can change them
    QStringList unset; // variables the program must not see
    int timeoutMs = 300000;
};

inline Run runProgram(const QString &program, const QStringList &arguments, const RunOptions &options = {})
{
    QProcess process;
    if (!options.workingDirectory.isEmpty())
        process.setWorkingDirectory(options.workingDirectory);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PRAVIK_NO_HISTORY"), QStringLiteral("1"));
    env.insert(QStringLiteral("PRAVIK_NOW"), QStringLiteral("2026-12-11T12:00:00Z"));
    for (const auto &[name, value] : options.environment)
        env.insert(name, value);
    for (const QString &name : options.unset)
        env.remove(name);
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    // Standard input is closed in any case, so that a program reading it never waits for more.
    if (process.waitForStarted(60000)) {
        if (!options.input.isEmpty())
            process.write(options.input);
        process.closeWriteChannel();
    }
    Run run;
    if (!process.waitForFinished(options.timeoutMs) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError() + '\n' + program.toUtf8() + " did not finish normally";
        return run;
    }
    run.status = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

#ifdef PRAVIK_CHECK_EXE
inline Run runCheck(const QStringList &arguments, const RunOptions &options = {})
{
    return runProgram(QStringLiteral(PRAVIK_CHECK_EXE), arguments, options);
}
#endif

} // namespace testsupport
