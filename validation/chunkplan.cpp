#include "chunkplan.h"

#include <bit>
#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace chunking {

namespace {

// Deeper than libxml2 parses without its huge-document option; such a text is refused in one pass.
constexpr size_t kMaxDepth = 256;
// Open elements whose names the cuts depend on: the root, the message and a block. The start tags of
// a block's children are read by name too, their end tags and all below them are not.
constexpr size_t kNamedDepth = 3;
// A skeleton replayed in every chunk must stay small beside the chunk.
constexpr qsizetype kMaxHeaderBytes = qsizetype(4) << 20;
constexpr qsizetype kMaxBlockHeadBytes = qsizetype(1) << 20;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Offset of the first of the bytes a, b and c in d at or after from; n when there is none. Inline
// and sixteen bytes at a time: the stretches between tags are short, a library call costs more.
qsizetype findFirstOf(const char *d, qsizetype from, qsizetype n, char a, char b, char c)
{
    qsizetype i = from;
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi8(a);
    const __m128i vb = _mm_set1_epi8(b);
    const __m128i vc = _mm_set1_epi8(c);
    for (; n - i >= 16; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i));
        const __m128i hits
            = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)), _mm_cmpeq_epi8(v, vc));
        if (const int mask = _mm_movemask_epi8(hits))
            return i + std::countr_zero(unsigned(mask));
    }
#endif
    for (; i < n; ++i) {
        if (d[i] == a || d[i] == b || d[i] == c)
            return i;
    }
    return n;
}

bool isBreak(char c)
{
    return c == '\n' || c == '\r';
}

std::string_view localPart(std::string_view qname)
{
    const size_t colon = qname.find(':');
    return colon == std::string_view::npos ? qname : qname.substr(colon + 1);
}

// A place the document may be cut before a block or a transaction, with what is open there.
struct Cut
{
    qsizetype offset = 0;
    bool inBlock = false; // between transactions of block `block`, else between blocks
    int block = 0; // 0-based index of the block that follows (or that holds the cut)
    int transaction = 0; // 0-based index of the transaction that follows, inside a block
    qsizetype blockCut = 0; // where the block's own bytes begin (a cut before it)
    qsizetype blockStart = 0; // its '<'
    qsizetype blockHeadEnd = 0; // the cut before its first transaction
    Segment blockName; // qualified name as written
    Segment transactionName;
};

class Scanner
{
public:
    Scanner(const QByteArray &text, qsizetype start, qsizetype target)
        : d(text.constData())
        , n(text.size())
        , pos(start)
        , target(target)
    {
    }

    bool run();

    // Told that the first n cuts are final: no later part of the text withdraws them.
    std::function<void(size_t n)> publish;

    std::vector<Cut> cuts;
    Segment rootName, messageName;
    qsizetype messageStart = 0;
    qsizetype headerEnd = -1; // the cut before the first block

private:
    std::string_view view(Segment s) const { return { d + s.begin, size_t(s.end - s.begin) }; }
    // Before the element whose '<' is at x: behind the last line break of the whitespace before
    // it, else at x, so that chunks begin on a line of their own where the document has lines.
    qsizetype cutBefore(qsizetype x) const
    {
        for (qsizetype i = x; i > markupEnd; --i) {
            if (d[i - 1] == '\n' || d[i - 1] == '\r')
                return i;
        }
        return x;
    }
    qsizetype find(const char *what, qsizetype from) const
    {
        const size_t len = std::strlen(what);
        const std::string_view all(d, size_t(n));
        const size_t at = all.find(std::string_view(what, len), size_t(from));
        return at == std::string_view::npos ? -1 : qsizetype(at + len);
    }
    bool startTag(qsizetype lt);
    bool deepTag(qsizetype lt);
    void endOfBlock();

    const char *d;
    qsizetype n;
    qsizetype pos;
    qsizetype target;
    std::vector<Segment> stack;
    qsizetype markupEnd = 0;
    int rootChildren = 0;
    int blocks = 0;
    qsizetype chunkBegin = 0;

    // The block being read.
    bool inBlock = false;
    bool blockSplittable = false;
    int transactions = 0;
    size_t cutsBeforeBlock = 0;
    qsizetype chunkBeginBeforeBlock = 0;
    Cut block;
};

bool Scanner::startTag(qsizetype lt)
{
    qsizetype i = lt + 1;
    while (i < n && !isSpace(d[i]) && d[i] != '/' && d[i] != '>')
        ++i;
    const Segment name { lt + 1, i };
    if (name.begin == name.end)
        return false;
    bool empty = false;
    for (;;) {
        while (i < n && isSpace(d[i]))
            ++i;
        if (i >= n)
            return false;
        if (d[i] == '>') {
            ++i;
            break;
        }
        if (d[i] == '/') {
            if (i + 1 >= n || d[i + 1] != '>')
                return false;
            empty = true;
            i += 2;
            break;
        }
        while (i < n && !isSpace(d[i]) && d[i] != '=' && d[i] != '>' && d[i] != '/')
            ++i;
        while (i < n && isSpace(d[i]))
            ++i;
        if (i >= n || d[i] != '=')
            return false;
        ++i;
        while (i < n && isSpace(d[i]))
            ++i;
        if (i >= n || (d[i] != '"' && d[i] != '\''))
            return false;
        const void *close = std::memchr(d + i + 1, d[i], size_t(n - i - 1));
        if (!close)
            return false;
        const qsizetype valueEnd = static_cast<const char *>(close) - d;
        if (std::memchr(d + i + 1, '<', size_t(valueEnd - i - 1)))
            return false;
        i = valueEnd + 1;
    }

    const std::string_view local = localPart(view(name));
    const size_t depth = stack.size();
    if (depth == 0) {
        if (rootName.end != 0)
            return false; // a second root: refused in one pass
        rootName = name;
    } else if (depth == 1) {
        if (++rootChildren > 1)
            return false;
        messageName = name;
        messageStart = lt;
    } else if (depth == 2) {
        if (local == "PmtInf") {
            const qsizetype cut = cutBefore(lt);
            if (blocks == 0) {
                headerEnd = cut;
                if (headerEnd > kMaxHeaderBytes)
                    return false;
            } else if (cut - chunkBegin >= target) {
                cuts.push_back({ cut, false, blocks, 0, 0, 0, 0, {}, {} });
                chunkBegin = cut;
                publish(cuts.size());
            }
            inBlock = !empty;
            blockSplittable = true;
            transactions = 0;
            cutsBeforeBlock = cuts.size();
            chunkBeginBeforeBlock = chunkBegin;
            block = Cut { cut, true, blocks, 0, cut, lt, 0, name, {} };
            ++blocks;
        } else if (blocks > 0) {
            return false; // after the blocks only blocks may follow
        }
    } else if (depth == 3 && inBlock) {
        const bool isTransaction = local == "CdtTrfTxInf" || local == "DrctDbtTxInf";
        if (transactions == 0) {
            if (isTransaction) {
                block.blockHeadEnd = cutBefore(lt);
                block.transactionName = name;
                if (block.blockHeadEnd - block.blockCut > kMaxBlockHeadBytes)
                    blockSplittable = false;
                transactions = 1;
            }
        } else if (view(name) != view(block.transactionName)) {
            blockSplittable = false;
        } else {
            const qsizetype cut = cutBefore(lt);
            if (blockSplittable && cut - chunkBegin >= target) {
                Cut c = block;
                c.offset = cut;
                c.transaction = transactions;
                cuts.push_back(c);
                chunkBegin = cut;
            }
            ++transactions;
        }
    }
    markupEnd = i;
    pos = i;
    if (!empty) {
        if (stack.size() >= kMaxDepth)
            return false;
        stack.push_back(name);
    }
    return true;
}

// A tag inside a transaction or a block's own element, read without its name: an end tag up to its
// '>', a start tag without attribute values the same way. A name left unchecked is no risk: a tag
// that is not well-formed fails the chunk that owns it, and the document goes through one pass.
// False for a start tag with a quoted value (a '>' may stand in it): read as any other.
bool Scanner::deepTag(qsizetype lt)
{
    const qsizetype end = findFirstOf(d, lt + 1, n, '>', '"', '\'');
    if (end == n || d[end] != '>')
        return false;
    if (d[lt + 1] == '/') {
        stack.pop_back();
    } else if (d[end - 1] != '/') {
        if (stack.size() >= kMaxDepth)
            return false;
        stack.push_back({});
    }
    pos = markupEnd = end + 1;
    return true;
}

// A block whose transactions are not one run of the same element is a chunk's unit as a whole.
void Scanner::endOfBlock()
{
    if (!blockSplittable) {
        cuts.resize(cutsBeforeBlock);
        chunkBegin = chunkBeginBeforeBlock;
    }
    inBlock = false;
    publish(cuts.size());
}

bool Scanner::run()
{
    while (pos < n) {
        const qsizetype at = findFirstOf(d, pos, n, '<', '<', '<');
        const bool lt = at < n;
        // Text directly inside the document, the message or a block is refused by the schema; its
        // report is left to one pass.
        if (stack.size() <= 3) {
            for (qsizetype i = pos; i < at; ++i) {
                if (!isSpace(d[i]))
                    return false;
            }
        }
        if (!lt)
            break;
        if (at + 1 >= n)
            return false;
        const char next = d[at + 1];
        if (next == '?') {
            const qsizetype end = find("?>", at + 2);
            if (end < 0)
                return false;
            pos = markupEnd = end;
        } else if (next == '!') {
            if (n - at >= 4 && std::memcmp(d + at, "<!--", 4) == 0) {
                const qsizetype end = find("-->", at + 4);
                if (end < 0)
                    return false;
                pos = markupEnd = end;
            } else if (n - at >= 9 && std::memcmp(d + at, "<![CDATA[", 9) == 0 && stack.size() > 3) {
                const qsizetype end = find("]]>", at + 9);
                if (end < 0)
                    return false;
                pos = end;
            } else {
                return false; // a DOCTYPE, or CDATA where only elements may stand
            }
        } else if (stack.size() > kNamedDepth && deepTag(at)) {
            // Below a transaction only the nesting counts.
        } else if (next == '/') {
            if (stack.empty())
                return false;
            const Segment open = stack.back();
            const qsizetype len = open.end - open.begin;
            qsizetype i = at + 2;
            if (n - i < len || std::memcmp(d + i, d + open.begin, size_t(len)) != 0)
                return false;
            i += len;
            while (i < n && isSpace(d[i]))
                ++i;
            if (i >= n || d[i] != '>')
                return false;
            stack.pop_back();
            if (stack.size() == 2 && inBlock)
                endOfBlock();
            pos = markupEnd = i + 1;
        } else {
            if (!startTag(at))
                return false;
        }
    }
    return stack.empty() && rootName.end != 0 && blocks > 0;
}

// Positions at c's owned start from those at the previous chunk's, counting only the bytes between.
void locate(const char *d, const Chunk &before, Chunk &c)
{
    const qsizetype from = before.owned.begin;
    const qsizetype at = c.owned.begin;
    const TextCounts n = countText(d, from, at, at + 1);
    c.begin.line = int32_t(std::min<int64_t>(before.begin.line + n.lf + n.cr - n.crlf, INT32_MAX));
    c.begin.filePos
        = int32_t(std::min<int64_t>(before.begin.filePos + n.units + n.lf + n.cr - 2 * n.crlf, INT32_MAX));
    qsizetype lineStart = -1;
    for (qsizetype i = at; i > from; --i) {
        if (isBreak(d[i - 1])) {
            lineStart = i;
            break;
        }
    }
    if (lineStart >= 0) {
        c.lineStart = lineStart;
        c.begin.linePos = int32_t(std::min<int64_t>(countText(d, lineStart, at, at).units + 1, INT32_MAX));
    } else {
        c.lineStart = before.lineStart;
        c.begin.linePos = int32_t(std::min<int64_t>(before.begin.linePos + n.units, INT32_MAX));
    }
}

} // namespace

qsizetype Chunk::prefixSize() const
{
    qsizetype size = 0;
    for (const Segment &s : prefix)
        size += s.end - s.begin;
    return size;
}

void Chunk::skeleton(const QByteArray &document, QByteArray &out) const
{
    out.resize(0); // keeps the buffer of the chunk before
    out.reserve(prefixSize());
    for (const Segment &s : prefix)
        out.append(document.constData() + s.begin, s.end - s.begin);
}

bool plan(const QByteArray &utf8, qsizetype start, qsizetype targetBytes,
    const std::function<void(Chunk &&)> &ready)
{
    if (utf8.size() - start < 2 * targetBytes)
        return false;
    Scanner scan(utf8, start, targetBytes);
    const char *d = utf8.constData();
    auto name = [&](Segment s) { return QByteArray(d + s.begin, s.end - s.begin); };
    auto endTag = [&](Segment s) { return "</" + name(s) + '>'; };
    QByteArray closeMessage;
    size_t handed = 0; // chunks handed over; chunk i ends at cut i
    Chunk before; // where the chunk handed last begins

    // Chunk i: from cut i - 1 (or the start) to cut i (or the end).
    auto hand = [&](size_t i, bool last) {
        Chunk c;
        c.owned.begin = i == 0 ? 0 : scan.cuts[i - 1].offset;
        c.owned.end = last ? utf8.size() : scan.cuts[i].offset;
        c.last = last;
        if (closeMessage.isEmpty())
            closeMessage = endTag(scan.messageName) + endTag(scan.rootName);
        if (i > 0) {
            const Cut &from = scan.cuts[i - 1];
            c.prefix.push_back({ 0, scan.headerEnd });
            c.seeds.push_back({ scan.messageStart, QByteArray("PmtInf"), from.block });
            if (from.inBlock) {
                const qsizetype blockAt = scan.headerEnd + (from.blockStart - from.blockCut);
                c.prefix.push_back({ from.blockCut, from.blockHeadEnd });
                const std::string_view local = localPart({ d + from.transactionName.begin,
                    size_t(from.transactionName.end - from.transactionName.begin) });
                c.seeds.push_back(
                    { blockAt, QByteArray(local.data(), qsizetype(local.size())), from.transaction });
            }
            locate(d, before, c);
        }
        if (!last) {
            const Cut &to = scan.cuts[i];
            c.suffix = to.inBlock ? endTag(to.blockName) + closeMessage : closeMessage;
        }
        before.owned = c.owned;
        before.begin = c.begin;
        before.lineStart = c.lineStart;
        ready(std::move(c));
    };
    scan.publish = [&](size_t n) {
        for (; handed < n; ++handed)
            hand(handed, false);
    };
    if (!scan.run())
        return false;
    scan.publish(scan.cuts.size());
    hand(handed, true);
    return true;
}

Plan plan(const QByteArray &utf8, qsizetype start, qsizetype targetBytes)
{
    Plan result;
    const bool planned
        = plan(utf8, start, targetBytes, [&](Chunk &&c) { result.chunks.push_back(std::move(c)); });
    if (!planned || result.chunks.size() < 2)
        result.chunks.clear();
    return result;
}

} // namespace chunking
