#include "xmlservices.h"

#include "chunkplan.h"
#include "collapsedvalues.h"
#include "textposition.h"

#include "platform/textformat.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlschemas.h>
#include <libxml/xmlschemastypes.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace xmlservices {

namespace {

// Far beyond any real payment run; keeps a hostile file from filling memory with error records.
constexpr int kMaxErrors = kMaxListedErrors;

// The validator appends every piece of character data to what it holds of the text node with a
// strlen and a realloc, which is quadratic in the node's length when the parser hands a long text
// over in 4 kB pieces. A run of text is therefore gathered and handed over in pieces this large.
constexpr qsizetype kTextPieceBytes = qsizetype(64) << 20;

xmlParserInputPtr refuseExternalEntity(const char *, const char *, xmlParserCtxtPtr)
{
    return nullptr;
}

void ignoreGenericError(void *, const char *, ...) { }

// libxml2's process-wide state is set once: it must never fetch anything from outside the text.
void initLibxml()
{
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        // The built-in schema types are created lazily and without a lock: two schemas compiled at
        // once on two threads would both create them (one set leaks). Create them here, once.
        xmlSchemaInitTypes();
        xmlSetExternalEntityLoader(refuseExternalEntity);
    });
    // Per thread in libxml2: keep its fallback messages off stderr.
    xmlSetGenericErrorFunc(nullptr, ignoreGenericError);
}

QString trimmedMessage(const xmlError *error)
{
    return trimControls(error && error->message ? QString::fromUtf8(error->message) : QString());
}

struct ParserDeleter
{
    void operator()(xmlParserCtxtPtr ctxt) const { xmlFreeParserCtxt(ctxt); }
};
using ParserPtr = std::unique_ptr<xmlParserCtxt, ParserDeleter>;

// The bytes one pass reads: the whole text, or for a chunk its replayed skeleton, its own bytes
// where they stand in the document and the end tags that close it, so that a chunk's bytes are not
// copied. Offsets run on across the pieces.
struct PassText
{
    struct Piece
    {
        const char *data;
        qsizetype begin;
        qsizetype end;
    };
    Piece pieces[3];
    int count = 0;
    qsizetype size = 0;

    PassText() = default;
    explicit PassText(const QByteArray &text) { add(text.constData(), text.size()); }

    void add(const char *data, qsizetype n)
    {
        if (n <= 0)
            return;
        pieces[count++] = { data, size, size + n };
        size += n;
    }
    int pieceOf(qsizetype i) const
    {
        int k = 0;
        while (k + 1 < count && i >= pieces[k].end)
            ++k;
        return k;
    }
    char at(qsizetype i) const
    {
        const Piece &p = pieces[pieceOf(i)];
        return p.data[i - p.begin];
    }
    // The last c at or before from; 0 when there is none. Tags are short: a plain loop beats a call.
    qsizetype lastOf(char c, qsizetype from) const
    {
        qsizetype i = std::min(from, size - 1);
        if (i <= 0)
            return i;
        int k = count - 1;
        while (i < pieces[k].begin)
            --k;
        for (;; --k) {
            const char *const first = pieces[k].data;
            const char *p = first + (i - pieces[k].begin);
            while (p > first && *p != c)
                --p;
            if (*p == c || k == 0)
                return pieces[k].begin + (p - first);
            i = pieces[k].begin - 1;
        }
    }
    // The first c at or after from; size when there is none.
    qsizetype firstOf(char c, qsizetype from) const
    {
        if (from >= size)
            return size;
        int k = 0;
        while (from >= pieces[k].end)
            ++k;
        for (; k < count; ++k) {
            const char *const first = pieces[k].data;
            const char *const end = first + (pieces[k].end - pieces[k].begin);
            const char *p = first + (from - pieces[k].begin);
            while (p < end && *p != c)
                ++p;
            if (p < end)
                return pieces[k].begin + (p - first);
            from = pieces[k].end;
        }
        return size;
    }
};

// Hands the text to libxml2 piece by piece, as a file would be read: its buffer stays small, and
// offsets into the input stay offsets into the text.
struct TextReader
{
    const PassText *text;
    qsizetype pos;
};

int readText(void *context, char *buffer, int len)
{
    auto *reader = static_cast<TextReader *>(context);
    int written = 0;
    while (written < len && reader->pos < reader->text->size) {
        const PassText::Piece &p = reader->text->pieces[reader->text->pieceOf(reader->pos)];
        const qsizetype n = std::min<qsizetype>(len - written, p.end - reader->pos);
        std::memcpy(buffer + written, p.data + (reader->pos - p.begin), size_t(n));
        reader->pos += n;
        written += int(n);
    }
    return written;
}

int closeText(void *)
{
    return 0;
}

// A parser over the text, which arrives as UTF-8: its own encoding declaration is ignored, and a
// leading byte-order mark is skipped (the reader starts behind it).
ParserPtr createParser(const PassText &text, TextReader &reader, xmlSAXHandler *sax, void *userData)
{
    const QByteArray start = text.count > 0
        ? QByteArray::fromRawData(text.pieces[0].data, std::min<qsizetype>(text.pieces[0].end, 3))
        : QByteArray();
    reader = { &text, utf8ByteOrderMarkLength(start) };
    xmlParserCtxtPtr ctxt
        = xmlCreateIOParserCtxt(sax, userData, readText, closeText, &reader, XML_CHAR_ENCODING_UTF8);
    if (!ctxt)
        throw EXMLServicesError(QStringLiteral("The XML parser could not be created (out of memory)."));
    ParserPtr parser(ctxt);
    xmlCtxtUseOptions(ctxt, XML_PARSE_NONET | XML_PARSE_IGNORE_ENC | XML_PARSE_NOWARNING);
    // Naming the encoding stops libxml2 from guessing UTF-16 from leading NUL bytes.
    if (!ctxt->encoding)
        ctxt->encoding = xmlStrdup(BAD_CAST "UTF-8");
    return parser;
}

// ---------------------------------------------------------------------------------------------
// Namespace probe

struct ProbeState
{
    xmlParserCtxtPtr ctxt = nullptr;
    QString ns;
};

void probeStart(void *ctx, const xmlChar *, const xmlChar *, const xmlChar *uri, int, const xmlChar **,
    int nbAttributes, int, const xmlChar **attributes)
{
    auto *state = static_cast<ProbeState *>(ctx);
    const xmlChar *found = uri;
    // Attributes come as (localname, prefix, URI, value, end) quintuples.
    for (int i = 0; !found && i < nbAttributes; ++i)
        found = attributes[i * 5 + 2];
    if (found) {
        state->ns = QString::fromUtf8(reinterpret_cast<const char *>(found));
        xmlStopParser(state->ctxt);
    }
}

void probeStop(void *ctx, const xmlChar *, const xmlChar *, const xmlChar *)
{
    xmlStopParser(static_cast<ProbeState *>(ctx)->ctxt);
}

void probeError(void *ctx, xmlErrorPtr error)
{
    auto *state = static_cast<ProbeState *>(ctx);
    if (error && error->level >= XML_ERR_ERROR) {
        state->ns.clear();
        xmlStopParser(state->ctxt);
    }
}

} // namespace

QString firstNamespace(const QByteArray &utf8)
{
    initLibxml();
    xmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = probeStart;
    sax.internalSubset = probeStop; // a DOCTYPE is refused before anything of it is read
    sax.serror = probeError;
    ProbeState state;
    const PassText text(utf8);
    TextReader reader;
    ParserPtr parser = createParser(text, reader, &sax, &state);
    state.ctxt = parser.get();
    xmlParseDocument(parser.get());
    return state.ns;
}

// ---------------------------------------------------------------------------------------------
// Schemas

struct Schema::Private
{
    xmlSchemaPtr schema = nullptr;
    std::unique_ptr<CollapsedValues> collapsed;
};

Schema::Schema(std::unique_ptr<Private> d)
    : m_d(std::move(d))
{
}

Schema::~Schema()
{
    if (m_d && m_d->schema)
        xmlSchemaFree(m_d->schema);
}

namespace {
struct SchemaErrors
{
    QString first;
};

void collectSchemaError(void *ctx, xmlErrorPtr error)
{
    auto *errors = static_cast<SchemaErrors *>(ctx);
    if (error && error->level >= XML_ERR_ERROR && errors->first.isEmpty())
        errors->first = trimmedMessage(error);
}
} // namespace

std::shared_ptr<const Schema> Schema::compile(const QByteArray &xsd)
{
    initLibxml();
    if (xsd.size() > INT_MAX)
        throw EXMLServicesError(QStringLiteral("The schema is too large."));
    xmlSchemaParserCtxtPtr pctxt = xmlSchemaNewMemParserCtxt(xsd.constData(), int(xsd.size()));
    if (!pctxt)
        throw EXMLServicesError(QStringLiteral("The schema parser could not be created (out of memory)."));
    SchemaErrors errors;
    xmlSchemaSetParserStructuredErrors(pctxt, collectSchemaError, &errors);
    xmlSchemaPtr schema = xmlSchemaParse(pctxt);
    xmlSchemaFreeParserCtxt(pctxt);
    if (!schema) {
        throw EXMLServicesError(
            errors.first.isEmpty() ? QStringLiteral("The schema could not be compiled.") : errors.first);
    }
    auto d = std::make_unique<Private>();
    d->schema = schema;
    d->collapsed = std::make_unique<CollapsedValues>(xsd);
    return std::shared_ptr<const Schema>(new Schema(std::move(d)));
}

// ---------------------------------------------------------------------------------------------
// Validating load

namespace {

enum class Event
{
    None,
    Start,
    End,
    Text
};

// One open element. Names come from the parser's dictionary, so pointers identify them.
struct Frame
{
    const xmlChar *name = nullptr;
    const xmlChar *uri = nullptr;
    qsizetype startOffset = 0; // of the '<' of the start tag
    int position = 1; // among its siblings of the same name
    bool childRefused = false; // a child was not expected here: the validator skips the rest
    const chunking::Seed *seed = nullptr; // children counted before a chunk's own bytes

    // Children seen so far, counted by local name whatever their namespace, as the XPath step
    // *[local-name()='x'][n] counts them. Payment elements have few kinds of children, so a short
    // list is searched; beyond that a hash indexes it, so that an element with 100,000
    // differently named children does not cost a scan of all names per child.
    struct ChildCount
    {
        const xmlChar *name;
        int count;
    };
    std::vector<ChildCount> children;
    std::unordered_map<const xmlChar *, size_t> childIndex;
    static constexpr size_t kListedChildren = 16;

    int &childCount(const xmlChar *childName)
    {
        if (childIndex.empty()) {
            for (ChildCount &c : children) {
                if (c.name == childName)
                    return c.count;
            }
            children.push_back({ childName, seededCount(childName) });
            if (children.size() > kListedChildren) {
                for (size_t i = 0; i < children.size(); ++i)
                    childIndex.emplace(children[i].name, i);
            }
            return children.back().count;
        }
        const auto [it, added] = childIndex.try_emplace(childName, children.size());
        if (added)
            children.push_back({ childName, seededCount(childName) });
        return children[it->second].count;
    }

    int seededCount(const xmlChar *childName) const
    {
        if (!seed || std::strcmp(reinterpret_cast<const char *>(childName), seed->localName.constData()) != 0)
            return 0;
        return seed->count;
    }

    void clearChildren()
    {
        children.clear();
        // A table that was needed once is dropped: clearing it would cost its size at every reuse.
        if (!childIndex.empty())
            std::unordered_map<const xmlChar *, size_t>().swap(childIndex);
    }
};

struct ValidationState
{
    const PassText *text = nullptr;
    xmlParserCtxtPtr ctxt = nullptr;
    xmlSchemaValidCtxtPtr vctxt = nullptr;
    xmlSAXHandler plugged {}; // the validator's own handlers
    const CollapsedValues *collapsed = nullptr;
    QString documentNsBraced; // "{ns}", dropped from names in messages

    std::vector<Frame> stack;
    qsizetype depth = 0;
    int rootCount = 0;
    Event event = Event::None;
    qsizetype eventOffset = 0;

    TextPositions positions;
    ParseError *errors = nullptr;
    int errorCount = 0;
    int64_t unlisted = 0; // errors beyond kMaxErrors, counted only
    bool notWellFormed = false;
    QString servicesFailure;
    std::exception_ptr pending;

    DocumentObserver *observer = nullptr;
    const chunking::Chunk *chunk = nullptr; // validating one chunk of `document`
    const QByteArray *document = nullptr;
    qsizetype ownedBegin = 0; // the chunk's own bytes in its text
    qsizetype ownedEnd = 0;
    bool untrusted = false; // the chunk's outcome may differ from one pass's
    qsizetype inputStart = 0; // bytes skipped before the parser's input (a byte-order mark)
    qsizetype stopOffset = -1; // where the parser stopped on text that is not well-formed
    QString stopMessage;
    QByteArray pendingText; // character data not yet handed to the validator
    qsizetype markupEnd = 0; // behind the last tag, comment or processing instruction
    qsizetype pendingTextStart = 0; // where the run of text in pendingText begins

    void appendText(const xmlChar *ch, int len)
    {
        if (pendingText.isEmpty())
            pendingTextStart = markupEnd;
        else if (pendingText.size() + len > kTextPieceBytes)
            flushText();
        pendingText.append(reinterpret_cast<const char *>(ch), len);
    }

    void flushText()
    {
        if (pendingText.isEmpty())
            return;
        event = Event::Text;
        eventOffset = pendingTextStart;
        if (vctxt)
            plugged.characters(
                vctxt, reinterpret_cast<const xmlChar *>(pendingText.constData()), int(pendingText.size()));
        pendingText.resize(0); // keeps its buffer for the next text
    }

    qsizetype currentOffset() const
    {
        const xmlParserInputPtr in = ctxt->input;
        if (!in || !in->base || !in->cur || ctxt->inputNr != 1)
            return eventOffset;
        return inputStart + qsizetype(in->consumed) + qsizetype(in->cur - in->base);
    }

    // The '<' that opens the tag the parser has just read (attribute values cannot hold a '<').
    qsizetype tagStart(qsizetype from) const { return text->lastOf('<', from); }

    // Behind the '>' that closes a start tag: the parser reports the tag standing on that '>' (or
    // on the '/' of "/>"), and attribute values, already read, lie before it.
    qsizetype tagEnd(qsizetype from) const { return qMin(text->firstOf('>', from) + 1, text->size); }

    Frame &push(const xmlChar *name, const xmlChar *uri, qsizetype startOffset)
    {
        int position = 1;
        if (depth == 0) {
            position = ++rootCount;
        } else {
            position = ++stack[size_t(depth - 1)].childCount(name);
        }
        if (size_t(depth) == stack.size())
            stack.emplace_back();
        Frame &f = stack[size_t(depth++)];
        f.name = name;
        f.uri = uri;
        f.startOffset = startOffset;
        f.position = position;
        f.childRefused = false;
        f.seed = nullptr;
        if (chunk) {
            for (const chunking::Seed &seed : chunk->seeds) {
                if (seed.startOffset == startOffset)
                    f.seed = &seed;
            }
        }
        f.clearChildren();
        return f;
    }

    // The first character of the text run that is not whitespace: what stray text errors are about.
    qsizetype textPoint() const
    {
        const qsizetype end = qMax(pendingTextStart, qMin(currentOffset(), text->size));
        qsizetype i = pendingTextStart;
        for (char c; i < end && ((c = text->at(i)) == ' ' || c == '\t' || c == '\r' || c == '\n');)
            ++i;
        return i < end ? i : pendingTextStart;
    }

    bool owned(qsizetype offset) const { return offset >= ownedBegin && offset < ownedEnd; }
    void startChunk();
    TextPosition positionAt(qsizetype point);
    void distrust()
    {
        untrusted = true;
        xmlStopParser(ctxt);
    }

    QString xpath(const QString &attribute) const;
    QString reasonOf(const xmlError *error) const;
    bool acceptedWhenCollapsed(const xmlError *error) const;
    void addError(const xmlError *error);
};

// Steps by local name need no namespace bindings, so that the path can be evaluated as it is.
QString ValidationState::xpath(const QString &attribute) const
{
    QString path;
    for (qsizetype i = 0; i < depth; ++i) {
        const Frame &f = stack[size_t(i)];
        path += QStringLiteral("/*[local-name()='");
        path += QString::fromUtf8(reinterpret_cast<const char *>(f.name));
        path += QStringLiteral("'][") + QString::number(f.position) + u']';
    }
    if (attribute.startsWith(u'{')) {
        // A qualified attribute, named "{uri}local" in the message.
        const qsizetype close = attribute.indexOf(u'}');
        path += QStringLiteral("/@*[local-name()='%1' and namespace-uri()='%2']")
                    .arg(attribute.mid(close + 1), attribute.mid(1, close - 1));
    } else if (!attribute.isEmpty()) {
        path += QStringLiteral("/@") + attribute;
    }
    return path;
}

// libxml2 names elements "{namespace}name"; the document's own namespace is dropped from names
// only. A value quoted in the message (the error's str1) is shown as it is, even when it holds that
// same text.
QString ValidationState::reasonOf(const xmlError *error) const
{
    QString reason = trimmedMessage(error);
    if (documentNsBraced.isEmpty() || !reason.contains(documentNsBraced))
        return reason;
    qsizetype keepFrom = -1;
    qsizetype keepTo = -1;
    const QString value = error->str1 ? QString::fromUtf8(error->str1) : QString();
    if (value.contains(documentNsBraced)) {
        // The value follows the element's name ("Element '{ns}x': ") and precedes every other name.
        const qsizetype nameEnd = reason.indexOf(QStringLiteral("': "));
        keepFrom = reason.indexOf(u'\'' + value + u'\'', qMax<qsizetype>(nameEnd + 1, 0));
        if (keepFrom >= 0)
            keepTo = keepFrom + value.size() + 2;
    }
    QString out;
    out.reserve(reason.size());
    qsizetype i = 0;
    while (i < reason.size()) {
        if (i == keepFrom) {
            out += QStringView(reason).mid(keepFrom, keepTo - keepFrom);
            i = keepTo;
            continue;
        }
        if (QStringView(reason).mid(i).startsWith(documentNsBraced)
            && (keepFrom < 0 || i + documentNsBraced.size() <= keepFrom || i >= keepTo)) {
            i += documentNsBraced.size();
            continue;
        }
        out += reason.at(i++);
    }
    return out;
}

// A value refused by its type, which is valid once its whitespace is collapsed as the type says.
bool ValidationState::acceptedWhenCollapsed(const xmlError *error) const
{
    if (error->code != XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_1 || !error->str1 || !error->message || !collapsed)
        return false;
    // "...' is not a valid value of the atomic type '{ns}Name'.": the type's name is quoted last.
    const QByteArray message(error->message);
    static const QByteArray marker("atomic type '");
    const qsizetype at = message.lastIndexOf(marker);
    if (at < 0)
        return false;
    const qsizetype from = at + marker.size();
    const qsizetype to = message.indexOf('\'', from);
    if (to < 0)
        return false;
    return collapsed->acceptsCollapsed(
        message.mid(from, to - from), reinterpret_cast<const char *>(error->str1));
}

void ValidationState::addError(const xmlError *error)
{
    if (acceptedWhenCollapsed(error))
        return;
    qsizetype point = eventOffset;
    if (event == Event::End && depth > 0 && error->code != XML_SCHEMAV_ELEMENT_CONTENT)
        point = stack[size_t(depth - 1)].startOffset;
    else if (event == Event::Text)
        point = textPoint();
    if (chunk) {
        // An element refused by its parent makes the validator skip the parent's remaining
        // content; a chunk sees that only when the parent lies wholly among its own bytes.
        if (error->code == XML_SCHEMAV_ELEMENT_CONTENT && event == Event::Start && depth >= 2) {
            Frame &parent = stack[size_t(depth - 2)];
            if (parent.startOffset < ownedBegin)
                distrust();
            parent.childRefused = true;
        }
        if (owned(point) != owned(eventOffset))
            distrust();
        if (untrusted || !owned(point))
            return;
    }
    // Beyond the cap errors are only counted; the parser goes on, so that a file that breaks off
    // later is still refused.
    if (errorCount >= kMaxErrors) {
        ++unlisted;
        return;
    }
    const QString reason = reasonOf(error);

    QString attribute;
    static const QLatin1String marker("', attribute '");
    const qsizetype at = reason.indexOf(marker);
    if (at >= 0) {
        const qsizetype nameStart = at + marker.size();
        const qsizetype nameEnd = reason.indexOf(u'\'', nameStart);
        if (nameEnd > nameStart)
            attribute = reason.mid(nameStart, nameEnd - nameStart);
    }

    const TextPosition pos = positionAt(point);
    ParseErrorEntry entry;
    entry.srcText = pos.lineText;
    entry.reason = reason;
    entry.xpath = xpath(attribute);
    entry.errorCode = error->code;
    entry.line = pos.line;
    entry.linepos = pos.linePos;
    entry.filepos = pos.filePos;
    errors->append(std::move(entry));
    ++errorCount;
}

ValidationState *stateOf(void *ctx)
{
    return static_cast<ValidationState *>(ctx);
}

// A C++ exception must not unwind through libxml2: keep it and stop the parser.
template <typename F> void guarded(ValidationState *s, F &&f)
{
    try {
        f();
    } catch (...) {
        if (!s->pending)
            s->pending = std::current_exception();
        xmlStopParser(s->ctxt);
    }
}

void onStart(void *ctx, const xmlChar *localname, const xmlChar *prefix, const xmlChar *uri, int nbNamespaces,
    const xmlChar **namespaces, int nbAttributes, int nbDefaulted, const xmlChar **attributes)
{
    ValidationState *s = stateOf(ctx);
    guarded(s, [&] {
        s->flushText();
        const qsizetype cur = s->currentOffset();
        s->markupEnd = s->tagEnd(cur);
        const qsizetype start = s->tagStart(cur);
        s->push(localname, uri, start);
        s->event = Event::Start;
        s->eventOffset = start;
        if (s->vctxt)
            s->plugged.startElementNs(s->vctxt, localname, prefix, uri, nbNamespaces, namespaces,
                nbAttributes, nbDefaulted, attributes);
        if (s->observer)
            s->observer->startElement(
                reinterpret_cast<const char *>(localname), reinterpret_cast<const char *>(uri), start);
    });
}

void onEnd(void *ctx, const xmlChar *localname, const xmlChar *prefix, const xmlChar *uri)
{
    ValidationState *s = stateOf(ctx);
    guarded(s, [&] {
        s->flushText();
        // For <x/> the parser stands after "/>", so this finds the start tag, which is the end tag too.
        const qsizetype cur = s->currentOffset();
        s->markupEnd = cur;
        s->event = Event::End;
        s->eventOffset = s->tagStart(cur > 0 ? cur - 1 : 0);
        if (s->vctxt)
            s->plugged.endElementNs(s->vctxt, localname, prefix, uri);
        if (s->depth > 0) {
            if (s->chunk && s->stack[size_t(s->depth - 1)].childRefused && s->eventOffset >= s->ownedEnd)
                s->distrust();
            --s->depth;
        }
        if (s->observer)
            s->observer->endElement();
    });
}

void onCharacters(void *ctx, const xmlChar *ch, int len)
{
    ValidationState *s = stateOf(ctx);
    guarded(s, [&] {
        s->appendText(ch, len);
        if (s->observer)
            s->observer->characters(reinterpret_cast<const char *>(ch), len);
    });
}

// A CDATA section is character data like any other. Handed to the validator as a section, one that
// holds only whitespace would be refused in element-only content, which XSD allows.
void onCData(void *ctx, const xmlChar *ch, int len)
{
    ValidationState *s = stateOf(ctx);
    guarded(s, [&] {
        s->appendText(ch, len);
        if (s->observer)
            s->observer->characters(reinterpret_cast<const char *>(ch), len);
    });
}

void onReference(void *ctx, const xmlChar *name)
{
    ValidationState *s = stateOf(ctx);
    guarded(s, [&] {
        s->flushText();
        s->event = Event::Text;
        if (s->vctxt && s->plugged.reference)
            s->plugged.reference(s->vctxt, name);
    });
}

// Comments and processing instructions end a run of text, as they end a text node.
void onComment(void *ctx, const xmlChar *)
{
    ValidationState *s = stateOf(ctx);
    guarded(s, [&] {
        s->flushText();
        s->markupEnd = s->currentOffset();
    });
}

void onProcessingInstruction(void *ctx, const xmlChar *, const xmlChar *)
{
    ValidationState *s = stateOf(ctx);
    guarded(s, [&] {
        s->flushText();
        s->markupEnd = s->currentOffset();
    });
}

void onDoctype(void *ctx, const xmlChar *, const xmlChar *, const xmlChar *)
{
    ValidationState *s = stateOf(ctx);
    if (s->stopOffset < 0) {
        s->stopOffset = s->currentOffset();
        s->stopMessage = QStringLiteral("A document type declaration is not allowed.");
    }
    s->notWellFormed = true;
    xmlStopParser(s->ctxt);
}

void onParserError(void *ctx, xmlErrorPtr error)
{
    ValidationState *s = stateOf(ctx);
    if (!error || error->level < XML_ERR_ERROR)
        return;
    if (error->code == XML_ERR_NO_MEMORY && s->servicesFailure.isEmpty())
        s->servicesFailure = trimmedMessage(error);
    if (s->stopOffset < 0) {
        s->stopOffset = s->currentOffset();
        s->stopMessage = trimmedMessage(error);
    }
    s->notWellFormed = true;
    xmlStopParser(s->ctxt);
}

void onSchemaError(void *ctx, xmlErrorPtr error)
{
    ValidationState *s = stateOf(ctx);
    if (!error || error->level < XML_ERR_ERROR)
        return;
    if (error->code == XML_SCHEMAV_INTERNAL || error->code == XML_ERR_NO_MEMORY) {
        if (s->servicesFailure.isEmpty())
            s->servicesFailure = trimmedMessage(error);
        xmlStopParser(s->ctxt);
        return;
    }
    guarded(s, [&] { s->addError(error); });
}

struct ValidCtxtDeleter
{
    void operator()(xmlSchemaValidCtxtPtr v) const { xmlSchemaFreeValidCtxt(v); }
};

struct PlugDeleter
{
    void operator()(xmlSchemaSAXPlugPtr p) const { xmlSchemaSAXUnplug(p); }
};

// Where the chunk's own bytes stand in its text; positions are counted in the document from the line
// they begin in, so that they are those of one pass.
void ValidationState::startChunk()
{
    ownedBegin = chunk->prefixSize();
    ownedEnd = ownedBegin + (chunk->owned.end - chunk->owned.begin);
    const TextPosition &origin = chunk->begin;
    positions.reset(*document, chunk->lineStart, origin.line, int64_t(origin.filePos) - (origin.linePos - 1));
}

// The position of a point of the text; for a chunk, of a point of its own bytes, in the document.
TextPosition ValidationState::positionAt(qsizetype point)
{
    return positions.at(chunk ? point + (chunk->owned.begin - ownedBegin) : point);
}

struct LoadOutcome
{
    LoadResult result = LoadResult::Valid;
    bool untrusted = false;
};

// One streaming pass over text: validated against schema when there is one, else only parsed for
// the observer; with chunk, text is that chunk of document and only its own bytes are reported.
LoadOutcome load(const PassText &text, const QByteArray &document, const Schema *schema,
    const QString &documentNamespace, ParseError &errors, DocumentObserver *observer,
    const chunking::Chunk *chunk)
{
    initLibxml();
    std::unique_ptr<xmlSchemaValidCtxt, ValidCtxtDeleter> vctxt;
    if (schema) {
        vctxt.reset(xmlSchemaNewValidCtxt(schema->d()->schema));
        if (!vctxt)
            throw EXMLServicesError(
                QStringLiteral("The schema validator could not be created (out of memory)."));
    }

    ValidationState state;
    state.text = &text;
    state.vctxt = vctxt.get();
    state.collapsed = schema ? schema->d()->collapsed.get() : nullptr;
    state.observer = observer;
    state.chunk = chunk;
    state.document = &document;
    if (chunk)
        state.startChunk();
    else
        state.positions.reset(document);
    ParseError collected;
    state.errors = &collected;
    if (!documentNamespace.isEmpty())
        state.documentNsBraced = u'{' + documentNamespace + u'}';

    // Without a handler of our own the plug hands back the validator's handlers, which we call
    // ourselves after noting where each event stands in the text.
    std::unique_ptr<xmlSchemaSAXPlugStruct, PlugDeleter> plug;
    if (vctxt) {
        xmlSchemaSetValidStructuredErrors(vctxt.get(), onSchemaError, &state);
        xmlSAXHandlerPtr pluggedSax = nullptr;
        void *pluggedData = nullptr;
        plug.reset(xmlSchemaSAXPlug(vctxt.get(), &pluggedSax, &pluggedData));
        if (!plug || !pluggedSax)
            throw EXMLServicesError(
                QStringLiteral("The schema validator could not be attached to the parser."));
        state.plugged = *pluggedSax;
    }

    xmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = onStart;
    sax.endElementNs = onEnd;
    sax.characters = onCharacters;
    sax.ignorableWhitespace = onCharacters;
    sax.cdataBlock = onCData;
    sax.reference = onReference;
    sax.comment = onComment;
    sax.processingInstruction = onProcessingInstruction;
    sax.internalSubset = onDoctype;
    sax.serror = onParserError;

    TextReader reader;
    ParserPtr parser = createParser(text, reader, &sax, &state);
    state.ctxt = parser.get();
    state.inputStart = reader.pos;
    xmlParseDocument(parser.get());
    const bool wellFormed = parser->wellFormed && parser->nsWellFormed;
    plug.reset();

    if (state.pending)
        std::rethrow_exception(state.pending);
    if (!state.servicesFailure.isEmpty())
        throw EXMLServicesError(state.servicesFailure);
    LoadOutcome outcome;
    if (state.untrusted) {
        outcome.untrusted = true;
        return outcome;
    }
    if (state.notWellFormed || !wellFormed) {
        if (state.stopOffset >= 0 && !chunk) {
            const TextPosition pos = state.positions.at(std::min(state.stopOffset, text.size));
            errors.setStop({ pos.lineText, state.stopMessage, {}, 0, pos.line, pos.linePos, pos.filePos });
        }
        outcome.result = LoadResult::NotWellFormed;
        return outcome;
    }
    if (collected.allErrors().isEmpty() && state.unlisted == 0)
        return outcome;
    collected.setUnlisted(state.unlisted);
    errors = std::move(collected);
    outcome.result = LoadResult::Invalid;
    return outcome;
}

} // namespace

LoadResult validate(
    const QByteArray &utf8, const Schema &schema, const QString &documentNamespace, ParseError &errors)
{
    return validate(utf8, schema, documentNamespace, errors, nullptr);
}

LoadResult validate(const QByteArray &utf8, const Schema &schema, const QString &documentNamespace,
    ParseError &errors, DocumentObserver *observer)
{
    return load(PassText(utf8), utf8, &schema, documentNamespace, errors, observer, nullptr).result;
}

LoadResult observe(const QByteArray &utf8, DocumentObserver &observer)
{
    ParseError ignored;
    return load(PassText(utf8), utf8, nullptr, {}, ignored, &observer, nullptr).result;
}

ChunkOutcome validateChunk(const QByteArray &document, const chunking::Chunk &chunk, const Schema &schema,
    const QString &documentNamespace, QByteArray &buffer)
{
    chunk.skeleton(document, buffer);
    PassText text;
    text.add(buffer.constData(), buffer.size());
    text.add(document.constData() + chunk.owned.begin, chunk.owned.end - chunk.owned.begin);
    text.add(chunk.suffix.constData(), chunk.suffix.size());
    ParseError errors;
    const LoadOutcome loaded = load(text, document, &schema, documentNamespace, errors, nullptr, &chunk);
    ChunkOutcome outcome;
    outcome.result = loaded.result;
    outcome.untrusted = loaded.untrusted;
    outcome.errors = errors.allErrors();
    outcome.unlisted = errors.unlisted();
    return outcome;
}

} // namespace xmlservices
