#pragma once
// Our XML services on libxml2: the namespace probe, schema compilation and the streaming validating
// load. Nothing outside the given texts is ever read: no network, no file, no DTD, no entity.

#include "platform/exception.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <memory>

namespace chunking {
struct Chunk;
}

namespace xmlservices {

// A failure of the XML services themselves (a schema that does not compile, no memory), carrying
// libxml2's own message.
class EXMLServicesError : public Exception
{
public:
    using Exception::Exception;
};

// One error of a validating load; positions as documented on TXMLParseErrorItem.
struct ParseErrorEntry
{
    QString srcText;
    QString reason;
    QString xpath;
    int32_t errorCode = 0;
    int32_t line = 0;
    int32_t linepos = 0;
    int32_t filepos = 0;
};

// The outcome of a validating load: errorCode 0 exactly when no error was found.
class ParseError
{
public:
    int32_t errorCode() const { return m_errors.isEmpty() ? 0 : m_errors.first().errorCode; }
    const QList<ParseErrorEntry> &allErrors() const { return m_errors; }
    void append(ParseErrorEntry e) { m_errors.append(std::move(e)); }

    // Errors found beyond the listed ones, which are capped to keep memory bounded.
    int64_t unlisted() const { return m_unlisted; }
    void setUnlisted(int64_t n) { m_unlisted = n; }

    // Where the parser stopped on text that is not well-formed (reason: the parser's own words);
    // line 0 when it did not stop there.
    const ParseErrorEntry &stop() const { return m_stop; }
    void setStop(ParseErrorEntry e) { m_stop = std::move(e); }

private:
    QList<ParseErrorEntry> m_errors;
    int64_t m_unlisted = 0;
    ParseErrorEntry m_stop { {}, {}, {}, 0, 0, 0, 0 };
};

// A compiled schema; immutable, so one may validate on several threads at once.
class Schema
{
public:
    ~Schema();
    Schema(const Schema &) = delete;
    Schema &operator=(const Schema &) = delete;

    // Compiles a schema from its text; throws EXMLServicesError when it does not compile.
    static std::shared_ptr<const Schema> compile(const QByteArray &xsd);

    struct Private;
    const Private *d() const { return m_d.get(); }

private:
    explicit Schema(std::unique_ptr<Private> d);
    std::unique_ptr<Private> m_d;
};

// The namespace URI of the first element or attribute, in document order, that has one; empty when
// there is none before the text ends or stops being well-formed. utf8 must be NUL-terminated
// (QByteArray is).
QString firstNamespace(const QByteArray &utf8);

// The most errors one validation lists; the whole text is checked all the same.
inline constexpr int kMaxListedErrors = 100000;

// Sees a validating load's events in document order, for checks beside the schema's in the same pass.
// Names come from the parser's dictionary: within one load the same name has the same pointer.
// tagOffset is the byte offset of the start tag's '<' in the text given to validate().
class DocumentObserver
{
public:
    virtual ~DocumentObserver() = default;
    virtual void startElement(const char *localName, const char *namespaceUri, qsizetype tagOffset) = 0;
    virtual void endElement() = 0;
    virtual void characters(const char *text, int length) = 0;
};

enum class LoadResult
{
    Valid,
    Invalid,
    NotWellFormed
};

// Parses utf8 and validates it against schema in one streaming pass. Invalid fills errors with every
// error found (the first kMaxListedErrors, and the count of the rest); documentNamespace (the probe's) is
// dropped from element names in their reasons. NotWellFormed: the text is not well-formed XML or carries a
// DOCTYPE; errors is left untouched but for its stop(). Throws EXMLServicesError when the services fail.
LoadResult validate(
    const QByteArray &utf8, const Schema &schema, const QString &documentNamespace, ParseError &errors);

// The same, with observer told of every element and piece of character data on the way; an exception
// it throws ends the load and leaves validate().
LoadResult validate(const QByteArray &utf8, const Schema &schema, const QString &documentNamespace,
    ParseError &errors, DocumentObserver *observer);

// The observer told of the document's events as validate() tells it, without validating: the SEPA
// rules' pass beside a chunked validation.
LoadResult observe(const QByteArray &utf8, DocumentObserver &observer);

// What one chunk found among its own bytes, with positions and XPaths as in the whole document.
// untrusted: the chunk cannot stand for its part of the document (a block refused by its parent,
// which makes the validator skip what follows); the document is then validated in one pass.
struct ChunkOutcome
{
    LoadResult result = LoadResult::Valid;
    bool untrusted = false;
    QList<ParseErrorEntry> errors; // the first kMaxListedErrors
    int64_t unlisted = 0;
};

// buffer holds the chunk's skeleton; a thread hands the same one in for each of its chunks. The
// chunk's own bytes are read where they stand in document.
ChunkOutcome validateChunk(const QByteArray &document, const chunking::Chunk &chunk, const Schema &schema,
    const QString &documentNamespace, QByteArray &buffer);

} // namespace xmlservices
