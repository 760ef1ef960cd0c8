#include "validationengine.h"

#include "chunkedvalidation.h"
#include "xmlservices.h"

#include "platform/textfile.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <mutex>

namespace {
const QString kSchemaFolder = QStringLiteral(":/schemas");
}

ESEPAXMLValidateException::ESEPAXMLValidateException()
    : Exception(defaultMessage())
{
}

ESEPAXMLValidateException::ESEPAXMLValidateException(
    QString parserMessage, int32_t line, int32_t linePos, int32_t filePos)
    : Exception(defaultMessage())
    , m_parserMessage(std::move(parserMessage))
    , m_line(line)
    , m_linePos(linePos)
    , m_filePos(filePos)
{
}

ESEPAXMLValidateException ESEPAXMLValidateException::forNamespace(QString namespaceUri)
{
    ESEPAXMLValidateException e;
    e.m_namespaceUri = std::move(namespaceUri);
    return e;
}

const QString &ESEPAXMLValidateException::defaultMessage()
{
    static const QString message
        = QStringLiteral("The file cannot be validated! This file may not be a valid SEPA XML file.");
    return message;
}

struct SchemaCache::Private
{
    std::mutex mutex;
    // Per name a once-flag, so that two threads never compile the same schema twice.
    struct Entry
    {
        std::once_flag once;
        std::shared_ptr<const xmlservices::Schema> schema;
        std::exception_ptr failure;
    };
    QHash<QString, std::shared_ptr<Entry>> entries;
};

SchemaCache::SchemaCache()
    : d(std::make_unique<Private>())
{
}

SchemaCache::~SchemaCache() = default;

std::shared_ptr<const xmlservices::Schema> SchemaCache::schema(const QString &resourceName)
{
    std::shared_ptr<Private::Entry> entry;
    {
        std::lock_guard lock(d->mutex);
        auto &slot = d->entries[resourceName.toUpper()];
        if (!slot)
            slot = std::make_shared<Private::Entry>();
        entry = slot;
    }
    std::call_once(entry->once, [&] {
        try {
            const QByteArray xsd = ValidationEngine::schemaResource(resourceName);
            if (!xsd.isNull())
                entry->schema = xmlservices::Schema::compile(xsd);
        } catch (...) {
            entry->failure = std::current_exception();
        }
    });
    if (entry->failure)
        std::rethrow_exception(entry->failure);
    return entry->schema;
}

namespace ValidationEngine {

QString resourceNameForNamespace(const QString &namespaceUri)
{
    QString name = namespaceUri;
    name.replace(u':', u'_');
    name.replace(u'.', u'_');
    return name;
}

QByteArray schemaResource(const QString &resourceName)
{
    if (resourceName.isEmpty() || resourceName.contains(u'/'))
        return {};
    const QStringList names = QDir(kSchemaFolder).entryList(QDir::Files);
    for (const QString &stored : names) {
        if (stored.compare(resourceName, Qt::CaseInsensitive) != 0)
            continue;
        QFile file(kSchemaFolder + u'/' + stored);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return file.readAll();
    }
    return {};
}

bool ValidateXMLUtf8(const QByteArray &utf8, std::unique_ptr<TXMLParseErrors> &errors, SchemaCache *cache)
{
    return ValidateXMLUtf8(utf8, errors, cache, nullptr);
}

bool ValidateXMLUtf8(const QByteArray &utf8, std::unique_ptr<TXMLParseErrors> &errors, SchemaCache *cache,
    xmlservices::DocumentObserver *observer)
{
    return ValidateXMLUtf8(utf8, errors, cache, observer, xmlservices::ChunkedRun());
}

bool ValidateXMLUtf8(const QByteArray &utf8, std::unique_ptr<TXMLParseErrors> &errors, SchemaCache *cache,
    xmlservices::DocumentObserver *observer, const xmlservices::ChunkedRun &run)
{
    errors.reset();
    const QString ns = xmlservices::firstNamespace(utf8);
    if (ns.isEmpty())
        throw ESEPAXMLValidateException();
    const QString name = resourceNameForNamespace(ns);

    std::shared_ptr<const xmlservices::Schema> schema;
    if (cache) {
        schema = cache->schema(name);
    } else {
        const QByteArray xsd = schemaResource(name);
        if (!xsd.isNull())
            schema = xmlservices::Schema::compile(xsd);
    }
    if (!schema)
        throw ESEPAXMLValidateException::forNamespace(ns);

    xmlservices::ParseError parseError;
    switch (xmlservices::validateChunked(utf8, *schema, ns, parseError, observer, run)) {
    case xmlservices::LoadResult::Valid:
        return true;
    case xmlservices::LoadResult::NotWellFormed: {
        const xmlservices::ParseErrorEntry &stop = parseError.stop();
        if (stop.line > 0)
            throw ESEPAXMLValidateException(stop.reason, stop.line, stop.linepos, stop.filepos);
        throw ESEPAXMLValidateException();
    }
    case xmlservices::LoadResult::Invalid:
        break;
    }
    errors = std::make_unique<TXMLParseErrors>(TXMLParseErrors::Create(parseError));
    return false;
}

bool ValidateXML(const QString &text, std::unique_ptr<TXMLParseErrors> &errors, SchemaCache *cache)
{
    return ValidateXMLUtf8(toUtf8KeepingSurrogates(text), errors, cache);
}

} // namespace ValidationEngine
