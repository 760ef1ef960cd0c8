#pragma once
// What pravik-check --summary and --list write of a file's payments: the blocks with their counts and
// sums and the file's totals (as text, as a JSON object, as JUnit properties), and the transactions
// as the CSV list the window exports.

#include "sepa/payments.h"

#include <QByteArray>

namespace checker {

// The summary lines after the report, each ending in '\n'; a stated figure that differs from the
// computed one is followed by "DIFFERS".
QByteArray summaryText(const sepa::Payments &payments);
// The summary as a JSON object: {"blocks":[...],"currencies":[...],"file":{...}}; sums as strings.
QByteArray summaryJson(const sepa::Payments &payments);
// record (one JSON record, as jsonRecord writes it) with "summary" as its last member.
QByteArray withJsonSummary(QByteArray record, const sepa::Payments &payments);
// testCase (as junitTestCase writes it) with the summary as its <properties>.
QByteArray withJUnitSummary(QByteArray testCase, const sepa::Payments &payments);

// The CSV list's lines, one per transaction (sepa::Payments::csvHeader goes once before them).
QByteArray listText(const sepa::Payments &payments);

} // namespace checker
