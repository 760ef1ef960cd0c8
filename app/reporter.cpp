#include "reporter.h"

#include "paymentsoutput.h"
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

TextReporter::TextReporter(bool headers, bool summary)
    : fHeaders(headers)
    , fSummary(summary)
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
    text += textReport(outcome.check);
    if (fSummary && outcome.check.payments)
        text += summaryText(*outcome.check.payments);
    return text;
}

JsonReporter::JsonReporter(bool summary)
    : fSummary(summary)
{
}

QByteArray JsonReporter::part(const FileOutcome &outcome) const
{
    if (fSummary && outcome.check.payments)
        return withJsonSummary(jsonRecord(outcome.check), *outcome.check.payments);
    return jsonRecord(outcome.check);
}

QByteArray ListReporter::part(const FileOutcome &outcome) const
{
    return outcome.check.payments ? listText(*outcome.check.payments) : QByteArray();
}

QByteArray ListReporter::add(const FileOutcome &, QByteArray &&part)
{
    if (std::exchange(fHeaderWritten, true))
        return std::move(part);
    return sepa::Payments::csvHeader() + part;
}

} // namespace checker
