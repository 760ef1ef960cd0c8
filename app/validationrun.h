#pragma once
// One validation of the window's text on threads of its own: against the schema (a large text in
// chunks on every processor), then the SEPA rules with the payments overview, which a large text
// gets only once the schema's outcome is told, so that the verdict never waits for them. The window
// starts one as soon as a file is read, so that it runs while the editor takes the text in, and
// uses its outcome only while the editor's text is still the one validated.
//
// The outcome is told on the thread that made the run (its signals), never from a worker; the
// destructor stops the workers and waits for them, so that nothing is told after it.

#include "platform/textformat.h"
#include "sepa/finding.h"
#include "sepa/payments.h"
#include "validation/mappedfile.h"
#include "validation/xmlparseerrors.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class SchemaCache;
namespace sepa {
class RulesPass;
}

// A file's text as the editor shows it and the window validates it: mapped rather than read where
// the file allows, decoded to UTF-8 (a UTF-8 file without a copy), its line ends as in the file.
struct TTextSource
{
    // Throws EFOpenError as readFileBytes does.
    explicit TTextSource(const QString &fileName);
    TTextSource(const TTextSource &) = delete;
    TTextSource &operator=(const TTextSource &) = delete;

    // Another program wrote to the file while it was mapped: what was read may be torn.
    bool changedWhileRead() const { return file.changedWhileRead(); }

    QString fileName;
    MappedFile file; // utf8 may point into it
    QByteArray utf8;
    TextEncoding encoding = TextEncoding::Utf8;
};

class TValidationRun final : public QObject
{
    Q_OBJECT

public:
    // Validates utf8 as the editor gives it for validation once it holds it: joined by CR LF. utf8
    // has any line ends and no byte that starts no character (toUtf8Text's text and the editor's
    // both qualify), so a large text is validated as it is, its positions counted as in the joined
    // text, and only the rules, whose offsets the editor takes in the joined text, get a joined
    // copy. source, when given, keeps the bytes alive. The rules are handed to prepare (the history
    // of checked files) before they run: for a text validated in parts on this thread as the
    // schema's outcome is told, so that a run may start before what prepare needs exists. schemas
    // must outlive the run.
    TValidationRun(QByteArray utf8, TextEncoding encoding, std::shared_ptr<const TTextSource> source,
        SchemaCache &schemas, const std::function<void(sepa::RulesPass &)> &prepare);
    ~TValidationRun() override;
    TValidationRun(const TValidationRun &) = delete;
    TValidationRun &operator=(const TValidationRun &) = delete;

    // Whether a text of this size is validated in parts on every processor, the rules after them.
    static bool inParts(qsizetype size);

    // Stops the workers at their next step; the run's outcome is then of no use.
    void cancel();
    bool cancelled() const { return m_cancelled; }

    // Set once the signals have been delivered.
    bool schemaDone() const { return m_schemaDone; }
    bool rulesDone() const { return m_rulesDone; }
    // Parts validated and parts in all, while a large text is validated in parts (0 of 0 else).
    qsizetype partsDone() const { return m_partsDone; }
    qsizetype partsTotal() const { return m_partsTotal; }

    const std::shared_ptr<const TTextSource> &source() const { return m_source; }

    // After schemaDone: true when valid, else errors set; rethrows what the validation threw
    // (ESEPAXMLValidateException for a text that is refused). Once.
    bool takeSchemaOutcome(std::unique_ptr<TXMLParseErrors> &errors);
    // After rulesDone: rethrows what the rules' pass threw. The pass itself stays for its history entry.
    void checkRules() const;
    std::vector<sepa::Finding> takeFindings() { return std::move(m_findings); }
    sepa::Payments takePayments() { return std::move(m_payments); }
    const sepa::RulesPass &rules() const { return *m_rules; }

Q_SIGNALS:
    void schemaFinished();
    void rulesFinished();

private:
    struct Stopped
    {
    };
    class StoppingObserver;

    void run(bool parts);
    void runRules();
    void finishRules();
    // From a worker: the flag set and the signal emitted on the run's own thread.
    void tellSchemaDone();
    void tellRulesDone();
    // On the run's thread: the rules prepared, and the worker let on to them.
    void openRules();
    void stop();

    QByteArray m_utf8;
    // m_utf8 joined by CR LF, made on the worker; the rules' text.
    QByteArray m_joined;
    std::shared_ptr<const TTextSource> m_source;
    SchemaCache &m_schemas;
    std::unique_ptr<sepa::RulesPass> m_rules;
    std::function<void(sepa::RulesPass &)> m_prepare; // until openRules
    std::atomic<bool> m_stop { false };
    // The worker waits here for the rules to be prepared, or for the run to stop.
    std::mutex m_gateMutex;
    std::condition_variable m_gate;
    bool m_rulesOpen = false;
    bool m_rulesSkipped = false; // prepare threw: the rules do not run
    bool m_cancelled = false;
    std::atomic<qsizetype> m_partsDone { 0 };
    std::atomic<qsizetype> m_partsTotal { 0 };

    // Written by the workers before they tell; read on the run's thread after the signal.
    bool m_valid = false;
    std::unique_ptr<TXMLParseErrors> m_errors;
    std::exception_ptr m_schemaFailure;
    std::vector<sepa::Finding> m_findings;
    sepa::Payments m_payments;
    std::exception_ptr m_rulesFailure;

    std::atomic<bool> m_schemaWritten { false };
    std::atomic<bool> m_rulesWritten { false };
    bool m_schemaDone = false;
    bool m_rulesDone = false;
    std::thread m_thread;
};
