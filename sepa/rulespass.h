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

#include "platform/textformat.h"
#include "validation/xmlservices.h"

#include <QByteArray>
#include <memory>
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

    // The findings of the whole document, in document order; call once, after the pass.
    std::vector<Finding> finish();

    // True when the findings stopped at kMaxFindings; more were there.
    bool stoppedEarly() const;

    // Beyond what anyone reads of one file; keeps a hostile one from filling memory with findings.
    static constexpr qsizetype kMaxFindings = 10000;
    // A requested execution date this many days after the file's creation is reported.
    static constexpr int kExecutionDaysAhead = 365;
    // Direct debits go to the bank at most this many calendar days before they fall due.
    static constexpr int kCollectionDaysAhead = 14;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace sepa
