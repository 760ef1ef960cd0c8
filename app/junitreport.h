#pragma once
// pravik-check's report for CI systems that read JUnit XML: the run is one test suite, each checked
// file one test case, each schema error of an invalid file one <failure>, and a refused or
// unreadable file one <error>. Counts follow JUnit's meaning: `failures` and `errors` count test
// cases, not the schema errors inside them.

#include "checkresult.h"

#include <QByteArray>
#include <QDateTime>

namespace checker {

// The <testcase> element of one checked file, indented for its place in the report and ending in a
// line break. Built apart from the report so that it can be written on the thread that checked the
// file. Every text is escaped; characters XML cannot hold are written as "\uXXXX".
QByteArray junitTestCase(const FileCheck &check, double seconds);

class JUnitReport
{
public:
    explicit JUnitReport(const QDateTime &started);

    // Test cases go in the order they are added.
    void add(Verdict verdict, const QByteArray &testCase);

    // The whole XML document; seconds is the time of the whole run.
    QByteArray document(double seconds) const;

private:
    QDateTime fStarted;
    QByteArray fCases;
    qsizetype fTests = 0;
    qsizetype fFailures = 0;
    qsizetype fErrors = 0;
};

} // namespace checker
