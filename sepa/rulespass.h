#pragma once
// Runs the SEPA rules over a payment file while the validation engine reads it, as an observer of
// its streaming pass, and hands back the findings in document order. Only documents that passed the
// engine's namespace probe reach it; the schema report stays as it is. A document whose root is not
// an ISO 20022 payment initiation (pain) message gets no finding at all.
//
//   sepa::RulesPass rules(utf8, encoding);
//   ValidationEngine::ValidateXMLUtf8(utf8, errors, &cache, &rules);
//   std::vector<sepa::Finding> findings = rules.finish();
//
// The pass keeps what later checks need (totals, identifiers seen, dates) and nothing of the text;
// it holds a reference to utf8, which must outlive it.

#include "sepa/finding.h"
#include "sepa/history.h"
#include "sepa/payments.h"

#include "platform/textformat.h"
#include "validation/xmlservices.h"

#include <QByteArray>
#include <QDateTime>
#include <memory>
#include <optional>
#include <vector>

namespace sepa {

class RulesPass final : public xmlservices::DocumentObserver
{
public:
    // encoding: how the file was stored (the text itself is always UTF-8 here).
    RulesPass(const QByteArray &utf8, TextEncoding encoding);
    ~RulesPass() override;
    RulesPass(const RulesPass &) = delete;
    RulesPass &operator=(const RulesPass &) = delete;

    void startElement(const char *localName, const char *namespaceUri, qsizetype tagOffset) override;
    void endElement() override;
    void characters(const char *text, int length) override;

    // The clock the dates are judged by; by default now (see referenceNow).
    void setNow(const QDateTime &now);
    // Warns when the file's MsgId or payments are in history (which must outlive the pass); entries
    // of this very file from ignoreSameSince on are passed over (History::findMessageId).
    void setHistory(const History *history, const QDateTime &ignoreSameSince = {});

    // The findings of the whole document, in document order; call once, after the pass. At most
    // kMaxFindings are listed, every error before any warning; the counts below count them all.
    std::vector<Finding> finish();

    qsizetype errorCount() const;
    qsizetype warningCount() const;
    // How many findings finish left out of its list.
    qsizetype unlisted() const;
    // True when finish left findings out.
    bool stoppedEarly() const { return unlisted() > 0; }

    // The blocks and transactions read, with their totals; complete once finish ran.
    const Payments &payments() const;
    // The same, handed over; the pass keeps an empty overview.
    Payments takePayments();

    // What the history keeps of this file, once finish ran over a whole payment message with a MsgId.
    std::optional<History::Entry> historyEntry() const;

    // The current time, or the one the environment variable PRAVIK_NOW gives (an ISO 8601 date and
    // time), so that runs over fixed files judge their dates the same on any day.
    static QDateTime referenceNow();

    // Beyond what anyone reads of one file; keeps a hostile one from filling memory with findings.
    static constexpr qsizetype kMaxFindings = 10000;
    // A file created longer ago than this is reported.
    static constexpr int kCreationDaysOld = 30;
    // A creation time this far ahead of the clock is reported; less is taken for clocks that differ.
    static constexpr int kCreationSecondsAhead = 3600;
    // A requested execution date this many days after the file's creation is reported.
    static constexpr int kExecutionDaysAhead = 365;
    // Direct debits go to the bank at most this many calendar days before they fall due.
    static constexpr int kCollectionDaysAhead = 14;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace sepa
