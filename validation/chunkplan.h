#pragma once
// Where a payment document can be cut for validating its pieces at once: a pre-scan lexes the text
// (comments, CDATA, processing instructions, quoted attribute values) and finds the repeated blocks,
// PmtInf under the message and, inside a large block, its transactions. Each chunk owns a run of the
// text's bytes and is validated inside a skeleton replayed from the document: its start up to the
// first block (namespace declarations, group header) and, inside a block, the block's own elements.
// Anything the lexer does not know gives no plan: the document is then validated in one pass.

#include "validation/textposition.h"

#include <QByteArray>
#include <functional>
#include <vector>

namespace chunking {

struct Segment
{
    qsizetype begin = 0;
    qsizetype end = 0;
};

// A child count an element of the skeleton starts with: the children of this name that stand
// before the chunk in the document, so that the XPath indices of the chunk's own are those of the
// whole document.
struct Seed
{
    qsizetype startOffset = 0; // of the element's '<' in the chunk's text
    QByteArray localName;
    int count = 0;
};

struct Chunk
{
    std::vector<Segment> prefix; // the skeleton before the owned bytes, from the document
    Segment owned; // the document's bytes this chunk reports on
    QByteArray suffix; // end tags closing what is open after the owned bytes
    std::vector<Seed> seeds;
    bool last = false;

    // Where the owned bytes begin in the document, as TextPositions counts, and where the
    // document's line of the first owned byte starts.
    TextPosition begin;
    qsizetype lineStart = 0;

    // The chunk's text is the prefix's bytes, then the owned bytes and the suffix. The prefix's
    // bytes into out, whose buffer is reused.
    void skeleton(const QByteArray &document, QByteArray &out) const;
    qsizetype prefixSize() const;
};

struct Plan
{
    std::vector<Chunk> chunks; // empty: validate in one pass
};

// Plans chunks of about targetBytes each over utf8 (its byte-order mark ends at `start`), handing
// each to ready, in order, as soon as no later part of the text can change it, so that chunks are
// validated while the pre-scan goes on. False when the document is smaller than two chunks or
// cannot be cut safely: whatever was handed over must then be dropped.
bool plan(const QByteArray &utf8, qsizetype start, qsizetype targetBytes,
    const std::function<void(Chunk &&)> &ready);

// The same, all at once; no chunks when there would be fewer than two.
Plan plan(const QByteArray &utf8, qsizetype start, qsizetype targetBytes);

} // namespace chunking
