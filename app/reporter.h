#pragma once
// pravik-check's output formats behind one interface. The checker runs each file's check on a worker
// thread and asks every reporter there for the file's part of its output, so that formatting runs in
// parallel too; then, on its own thread and in the order of the files, hands each part back to its
// reporter, which says what to write now; after the last file it asks each for the report's end.
// A new format is one more Reporter.

#include "checkresult.h"

#include <QByteArray>
#include <vector>

namespace checker {

// Everything the check of one file produced, as it travels from the worker to the output.
struct FileOutcome
{
    qsizetype index = 0; // among the files given, from 0
    FileCheck check;
    double seconds = 0; // reading and checking the file took
    std::vector<QByteArray> parts; // each reporter's part, in the order of the reporters
};

class Reporter
{
public:
    Reporter() = default;
    Reporter(const Reporter &) = delete;
    Reporter &operator=(const Reporter &) = delete;
    virtual ~Reporter() = default;

    // The file's part of the output. Called on the worker that checked the file, for several files
    // at once: it reads the outcome and the reporter's settings, and changes nothing.
    virtual QByteArray part(const FileOutcome &outcome) const = 0;

    // Called in the order of the files with the file's part: what is written now. A format that
    // writes everything at the end keeps the part and returns nothing.
    virtual QByteArray add(const FileOutcome &outcome, QByteArray &&part);

    // What follows the last file; seconds is the time of the whole run.
    virtual QByteArray end(double seconds);
};

// The window's report lines of each file (textReport), each headed by "==> FILE <==" when there are
// several files.
class TextReporter final : public Reporter
{
public:
    // summary: the file's payments (summaryText) after its report.
    TextReporter(bool headers, bool summary);
    QByteArray part(const FileOutcome &outcome) const override;

private:
    bool fHeaders;
    bool fSummary;
};

// One JSON record a file, each on a line of its own (jsonRecord); with summary, the file's payments
// as its member "summary".
class JsonReporter final : public Reporter
{
public:
    explicit JsonReporter(bool summary);
    QByteArray part(const FileOutcome &outcome) const override;

private:
    bool fSummary;
};

// The transactions of every file as one CSV list (listText) under one header.
class ListReporter final : public Reporter
{
public:
    QByteArray part(const FileOutcome &outcome) const override;
    QByteArray add(const FileOutcome &outcome, QByteArray &&part) override;

private:
    bool fHeaderWritten = false;
};

} // namespace checker
