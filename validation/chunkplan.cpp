#include "chunkplan.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string_view>

namespace chunking {

namespace {

// Deeper than libxml2 parses without its huge-document option; such a text is refused in one pass.
constexpr size_t kMaxDepth = 256;
// A skeleton replayed in every chunk must stay small beside the chunk.
constexpr qsizetype kMaxHeaderBytes = qsizetype(4) << 20;
constexpr qsizetype kMaxBlockHeadBytes = qsizetype(1) << 20;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
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
        const void *lt = std::memchr(d + pos, '<', size_t(n - pos));
        const qsizetype at = lt ? static_cast<const char *>(lt) - d : n;
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

// What TextPositions counts over a stretch of text: UTF-16 units (one per UTF-8 lead byte, two for
// a four-byte sequence) and line feeds, carriage returns and CR LF pairs, eight bytes at a time.
struct Counts
{
    int64_t units = 0;
    int64_t lf = 0;
    int64_t cr = 0;
    int64_t crlf = 0;
};

Counts count(const char *data, qsizetype from, qsizetype to, qsizetype size)
{
    constexpr uint64_t low7 = 0x7F7F7F7F7F7F7F7FULL;
    constexpr uint64_t high = 0x8080808080808080ULL;
    // The high bit of exactly the bytes of w that are zero.
    auto zeroBytes = [](uint64_t w) { return ~(((w & low7) + low7) | w | low7); };
    // How many bytes have their high bit set, in a mask of high bits: summed by one multiplication,
    // which is cheaper than a population count the compiler may make a library call.
    auto highBits = [](uint64_t m) { return int64_t(((m >> 7) * 0x0101010101010101ULL) >> 56); };
    Counts c;
    qsizetype i = from;
    bool crBefore = false; // the last byte counted was a CR
    for (; to - i >= 8; i += 8) {
        uint64_t w;
        std::memcpy(&w, data + i, 8);
        const uint64_t continuation = w & ~(w << 1) & high;
        const uint64_t fourByteLead = w & (w << 1) & (w << 2) & (w << 3) & high;
        const uint64_t lf = zeroBytes(w ^ (0x0101010101010101ULL * '\n'));
        const uint64_t cr = zeroBytes(w ^ (0x0101010101010101ULL * '\r'));
        c.units += 8 - highBits(continuation) + highBits(fourByteLead);
        c.lf += highBits(lf);
        c.cr += highBits(cr);
        c.crlf += highBits((cr << 8) & lf) + (crBefore && (lf & 0x80));
        crBefore = (cr >> 63) != 0;
    }
    for (; i < to; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        c.units += (b & 0xC0) != 0x80;
        c.units += b >= 0xF0;
        c.lf += b == '\n';
        c.crlf += crBefore && b == '\n';
        c.cr += b == '\r';
        crBefore = b == '\r';
    }
    // A CR LF pair split by the end of the stretch is one break all the same.
    if (crBefore && to < size && data[to] == '\n')
        ++c.crlf;
    return c;
}

// Positions at c's owned start from those at the previous chunk's, counting only the bytes between.
void locate(const char *d, const Chunk &before, Chunk &c)
{
    const qsizetype from = before.owned.begin;
    const qsizetype at = c.owned.begin;
    const Counts n = count(d, from, at, at + 1);
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
        c.begin.linePos = int32_t(std::min<int64_t>(count(d, lineStart, at, at).units + 1, INT32_MAX));
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

void Chunk::text(const QByteArray &document, QByteArray &out) const
{
    out.resize(0); // keeps the buffer of the chunk before
    out.reserve(prefixSize() + (owned.end - owned.begin) + suffix.size());
    for (const Segment &s : prefix)
        out.append(document.constData() + s.begin, s.end - s.begin);
    out.append(document.constData() + owned.begin, owned.end - owned.begin);
    out.append(suffix);
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
