#include "validationrun.h"

#include "sepa/rulespass.h"
#include "validation/chunkedvalidation.h"
#include "validation/validationengine.h"

#include <QThread>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <unistd.h>
#endif

TTextSource::TTextSource(const QString &name)
    : fileName(name)
{
    // Nothing else runs yet: the UTF-8 check takes every processor.
    utf8 = xmlservices::toUtf8TextOnThreads(file.open(name), &encoding, QThread::idealThreadCount(), {});
}

// The rules' events passed on until the run is told to stop; then the pass ends with Stopped.
class TValidationRun::StoppingObserver final : public xmlservices::DocumentObserver
{
public:
    StoppingObserver(xmlservices::DocumentObserver &inner, const std::atomic<bool> &stop)
        : m_inner(inner)
        , m_stop(stop)
    {
    }
    void startElement(const char *localName, const char *namespaceUri, qsizetype tagOffset) override
    {
        check();
        m_inner.startElement(localName, namespaceUri, tagOffset);
    }
    void endElement() override
    {
        check();
        m_inner.endElement();
    }
    void characters(const char *text, int length) override
    {
        check();
        m_inner.characters(text, length);
    }

private:
    void check() const
    {
        if (m_stop.load(std::memory_order_relaxed))
            throw Stopped();
    }
    xmlservices::DocumentObserver &m_inner;
    const std::atomic<bool> &m_stop;
};

TValidationRun::TValidationRun(QByteArray utf8, TextEncoding encoding,
    std::shared_ptr<const TTextSource> source, SchemaCache &schemas,
    const std::function<void(sepa::RulesPass &)> &prepare)
    : m_utf8(std::move(utf8))
    , m_source(std::move(source))
    , m_schemas(schemas)
    , m_rules(std::make_unique<sepa::RulesPass>(m_joined, encoding))
{
    // A large text is validated in parts on every processor, then the rules follow a parse of their
    // own; a small one in one pass that serves both.
    const bool parts = inParts(m_utf8.size());
    if (parts)
        m_prepare = prepare;
    else if (prepare)
        prepare(*m_rules);
    m_thread = std::thread([this, parts] { run(parts); });
}

TValidationRun::~TValidationRun()
{
    stop();
    if (m_thread.joinable())
        m_thread.join();
}

bool TValidationRun::inParts(qsizetype size)
{
    constexpr qsizetype kWorthAThread = qsizetype(1) << 20;
    return size >= kWorthAThread && QThread::idealThreadCount() > 1;
}

void TValidationRun::cancel()
{
    m_cancelled = true;
    stop();
}

void TValidationRun::stop()
{
    {
        const std::lock_guard lock(m_gateMutex);
        m_stop = true;
    }
    m_gate.notify_all();
}

void TValidationRun::openRules()
{
    bool skipped = false;
    if (m_prepare) {
        try {
            m_prepare(*m_rules);
        } catch (...) {
            m_rulesFailure = std::current_exception();
            skipped = true;
        }
        m_prepare = nullptr;
    }
    {
        const std::lock_guard lock(m_gateMutex);
        m_rulesOpen = true;
        m_rulesSkipped = skipped;
    }
    m_gate.notify_all();
}

void TValidationRun::run(bool parts)
{
    try {
        if (!parts) {
            m_joined = utf8JoiningLines(QByteArray(m_utf8));
            StoppingObserver observer(*m_rules, m_stop);
            m_valid = ValidationEngine::ValidateXMLUtf8(m_joined, m_errors, &m_schemas, &observer);
        } else {
            xmlservices::ChunkedRun run;
            run.jobs = QThread::idealThreadCount();
            run.progress = [this](qsizetype done, qsizetype total) {
                if (m_stop.load(std::memory_order_relaxed))
                    throw Stopped();
                m_partsTotal = total;
                m_partsDone = done;
            };
            m_valid = ValidationEngine::ValidateXMLUtf8(m_utf8, m_errors, &m_schemas, nullptr, run);
        }
    } catch (...) {
        m_schemaFailure = std::current_exception();
    }
    if (!parts) {
        // The rules saw a whole text only when it was not refused.
        if (!m_schemaFailure)
            finishRules();
        tellRulesDone();
        tellSchemaDone();
        return;
    }
    // A refused text has nothing for the rules.
    const bool refused = bool(m_schemaFailure);
    tellSchemaDone();
    if (!refused) {
        std::unique_lock lock(m_gateMutex);
        m_gate.wait(lock, [this] { return m_rulesOpen || m_stop; });
        const bool run = m_rulesOpen && !m_rulesSkipped;
        lock.unlock();
        if (run)
            runRules();
    }
    tellRulesDone();
}

void TValidationRun::runRules()
{
#ifdef Q_OS_LINUX
    // Below the window, which shows the verdict meanwhile. On Linux a thread has a priority of its own.
    setpriority(PRIO_PROCESS, id_t(gettid()), 10);
#endif
    try {
        if (m_stop.load(std::memory_order_relaxed))
            return;
        m_joined = utf8JoiningLines(QByteArray(m_utf8));
        StoppingObserver observer(*m_rules, m_stop);
        if (xmlservices::observe(m_joined, observer) != xmlservices::LoadResult::NotWellFormed)
            finishRules();
    } catch (const Stopped &) {
        // Cancelled: nothing of the rules is shown.
    } catch (...) {
        m_rulesFailure = std::current_exception();
    }
}

void TValidationRun::finishRules()
{
    try {
        m_findings = m_rules->finish();
        m_payments = m_rules->takePayments();
    } catch (...) {
        m_rulesFailure = std::current_exception();
    }
}

void TValidationRun::tellSchemaDone()
{
    // The outcome is published by the flag, whatever the event queue's own locks show a checker.
    m_schemaWritten.store(true, std::memory_order_release);
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_schemaDone = m_schemaWritten.load(std::memory_order_acquire);
            openRules();
            Q_EMIT schemaFinished();
        },
        Qt::QueuedConnection);
}

void TValidationRun::tellRulesDone()
{
    m_rulesWritten.store(true, std::memory_order_release);
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_rulesDone = m_rulesWritten.load(std::memory_order_acquire);
            Q_EMIT rulesFinished();
        },
        Qt::QueuedConnection);
}

bool TValidationRun::takeSchemaOutcome(std::unique_ptr<TXMLParseErrors> &errors)
{
    if (m_schemaFailure)
        std::rethrow_exception(std::exchange(m_schemaFailure, nullptr));
    errors = std::move(m_errors);
    return m_valid;
}

void TValidationRun::checkRules() const
{
    if (m_rulesFailure)
        std::rethrow_exception(m_rulesFailure);
}
