#pragma once
// The validation engine: chooses the embedded schema by a document's first namespace and validates
// the document against it. Each call stands alone unless the caller hands in a SchemaCache.

#include "platform/exception.h"
#include "validation/xmlparseerrors.h"

#include <QByteArray>
#include <QString>
#include <memory>

namespace xmlservices {
class Schema;
class DocumentObserver;
struct ChunkedRun;
}

// No embedded schema fits the document (no namespace, an unknown one, or text that is not XML).
class ESEPAXMLValidateException : public Exception
{
public:
    ESEPAXMLValidateException();
    // The same refusal for text that is not well-formed, with where and why the parser stopped.
    ESEPAXMLValidateException(QString parserMessage, int32_t line, int32_t linePos, int32_t filePos);
    static const QString &defaultMessage();
    // The same refusal for a document whose root namespace no embedded schema has.
    static ESEPAXMLValidateException forNamespace(QString namespaceUri);

    // Where the parser stopped (line and position in the line from 1, filePos from 0, counted as
    // TXMLParseErrorItem counts them) and its own words; line 0 when the refusal has no such place.
    const QString &parserMessage() const { return m_parserMessage; }
    int32_t line() const { return m_line; }
    int32_t linePos() const { return m_linePos; }
    int32_t filePos() const { return m_filePos; }
    // The document's namespace when it was refused for having no schema, else empty.
    const QString &namespaceUri() const { return m_namespaceUri; }

private:
    QString m_namespaceUri;
    QString m_parserMessage;
    int32_t m_line = 0;
    int32_t m_linePos = 0;
    int32_t m_filePos = 0;
};

// Compiles each embedded schema at most once; safe to share between threads.
class SchemaCache
{
public:
    SchemaCache();
    ~SchemaCache();
    SchemaCache(const SchemaCache &) = delete;
    SchemaCache &operator=(const SchemaCache &) = delete;

    // The compiled schema stored under resourceName, or null when no resource has that name.
    std::shared_ptr<const xmlservices::Schema> schema(const QString &resourceName);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

namespace ValidationEngine {

// The resource name a schema of this target namespace is stored under: every ':' and '.' made '_'.
QString resourceNameForNamespace(const QString &namespaceUri);

// The embedded schema text whose resource name matches resourceName regardless of case; null when none.
QByteArray schemaResource(const QString &resourceName);

// Validates UTF-8 text. Returns true when valid; false with errors set to every error otherwise.
// Throws ESEPAXMLValidateException when no schema fits and xmlservices::EXMLServicesError when the
// services fail. Without a cache the schema is compiled for this call alone.
bool ValidateXMLUtf8(
    const QByteArray &utf8, std::unique_ptr<TXMLParseErrors> &errors, SchemaCache *cache = nullptr);

// The same, with observer following the validating pass (it sees nothing of a refused document
// beyond, at most, a part of it: the caller drops what it gathered when this throws).
bool ValidateXMLUtf8(const QByteArray &utf8, std::unique_ptr<TXMLParseErrors> &errors, SchemaCache *cache,
    xmlservices::DocumentObserver *observer);

// The same with a large document cut into chunks validated on run.jobs threads (chunkedvalidation.h):
// the outcome is exactly that of one pass.
bool ValidateXMLUtf8(const QByteArray &utf8, std::unique_ptr<TXMLParseErrors> &errors, SchemaCache *cache,
    xmlservices::DocumentObserver *observer, const xmlservices::ChunkedRun &run);

// The same for the editor's UTF-16 text, converted once.
bool ValidateXML(const QString &text, std::unique_ptr<TXMLParseErrors> &errors, SchemaCache *cache = nullptr);

} // namespace ValidationEngine
