#pragma once
// pravik-check's report for CI systems that read JUnit XML: the run is one test suite, each checked
// file one test case, each schema error of an invalid file one <failure>, and a refused or
// unreadable file one <error>. When the SEPA rules ran, their report is the test case's
// <system-out>, and with rulesStrict each finding of severity error is a <failure> as well, so that
// the report fails exactly where the exit status does. Counts follow JUnit's meaning: `failures` and
// `errors` count test cases, not the errors inside them. Only attributes of the common JUnit schema
// (the one Jenkins and GitLab read) are written.

#include "checkresult.h"
#include "reporter.h"

#include <QByteArray>
#include <QDateTime>

namespace checker {

// The <testcase> element of one checked file, indented for its place in the report and ending in a
// line break. Built apart from the report so that it can be written on the thread that checked the
// file. Every text is escaped; characters XML cannot hold are written as "\uXXXX".
QByteArray junitTestCase(const FileCheck &check, double seconds, bool rulesStrict = false);

class JUnitReport
{
public:
    explicit JUnitReport(const QDateTime &started);

    // Test cases go in the order they are added.
    // failed: a valid file fails all the same (rule errors under --rules-strict).
    void add(Verdict verdict, bool failed, const QByteArray &testCase);

    // The whole XML document; seconds is the time of the whole run.
    QByteArray document(double seconds) const;

private:
    QDateTime fStarted;
    QByteArray fCases;
    qsizetype fTests = 0;
    qsizetype fFailures = 0;
    qsizetype fErrors = 0;
};

// The JUnit report as a format: each test case is built on the worker that checked its file, the
// document after the last file.
class JUnitReporter final : public Reporter
{
public:
    // rulesStrict: a finding of severity error fails its test case (as it makes the exit status 1);
    // summary: the file's payments as the test case's properties.
    JUnitReporter(const QDateTime &started, bool rulesStrict, bool summary);
    QByteArray part(const FileOutcome &outcome) const override;
    QByteArray add(const FileOutcome &outcome, QByteArray &&part) override;
    QByteArray end(double seconds) override;

private:
    JUnitReport fReport;
    bool fRulesStrict;
    bool fSummary;
};

} // namespace checker
