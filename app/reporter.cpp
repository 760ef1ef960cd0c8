#include "reporter.h"

#include "platform/filename.h"

#include <utility>

namespace checker {

QByteArray Reporter::add(const FileOutcome &, QByteArray &&part)
{
    return std::move(part);
}

QByteArray Reporter::end(double)
{
    return {};
}

TextReporter::TextReporter(bool headers)
    : fHeaders(headers)
{
}

QByteArray TextReporter::part(const FileOutcome &outcome) const
{
    QByteArray text;
    if (fHeaders) {
        if (outcome.index > 0)
            text += '\n';
        text += "==> " + encodeFileName(outcome.check.file) + " <==\n";
    }
    return text + textReport(outcome.check);
}

QByteArray JsonReporter::part(const FileOutcome &outcome) const
{
    return jsonRecord(outcome.check);
}

} // namespace checker
