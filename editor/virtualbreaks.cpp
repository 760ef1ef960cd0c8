#include "editor/virtualbreaks.h"

#include "platform/textformat.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace {

const char *findByte(const char *from, const char *end, char byte)
{
    const void *found = std::memchr(from, byte, size_t(end - from));
    return found ? static_cast<const char *>(found) : end;
}

// The breaks of one long line's bytes [start, end), its line end excluded.
void breakLine(const char *data, qsizetype start, qsizetype end, VirtualBreaks::Places &breaks)
{
    qsizetype last = start; // where the current piece starts
    qsizetype p = start;
    for (;;) {
        // A tag that ends before the piece is full ends it; the search skips from '>' to '>'.
        const qsizetype full = last + VirtualBreaks::pieceLength - 1;
        const qsizetype scanEnd = std::min(full, end - 1);
        bool found = false;
        while (p < scanEnd) {
            const void *gt = std::memchr(data + p, '>', size_t(scanEnd - p));
            if (!gt)
                break;
            const qsizetype q = static_cast<const char *>(gt) - data;
            p = q + 1;
            if (data[q + 1] == '<') {
                breaks.push_back(quint32(q + 1));
                last = q + 1;
                found = true;
                break;
            }
        }
        if (found)
            continue;
        if (full >= end - 1)
            return;
        // A full piece ends before the next character that starts.
        p = std::max(p, full);
        while (p < end - 1 && isUtf8Continuation(static_cast<unsigned char>(data[p + 1])))
            ++p;
        if (p >= end - 1)
            return;
        breaks.push_back(quint32(p + 1));
        last = p + 1;
        p = last;
    }
}

} // namespace

VirtualBreaks::Places VirtualBreaks::find(const char *data, qsizetype size)
{
    if (size > qsizetype(std::numeric_limits<qint32>::max()))
        return {};
    // Lines end at LF, CR LF or a lone CR, as Scintilla counts them. Each search for the next CR
    // and the next LF runs once per hit, so a file of one kind of line end costs one pass.
    const char *const end = data + size;
    const char *nextCr = findByte(data, end, '\r');
    const char *nextLf = findByte(data, end, '\n');
    std::vector<std::pair<qsizetype, qsizetype>> longLines;
    for (const char *p = data;;) {
        if (nextCr < p)
            nextCr = findByte(p, end, '\r');
        if (nextLf < p)
            nextLf = findByte(p, end, '\n');
        const char *lineEnd = std::min(nextCr, nextLf);
        if (lineEnd - p > longLine)
            longLines.emplace_back(p - data, lineEnd - data);
        if (lineEnd == end)
            break;
        p = lineEnd + lineEndLength(lineEnd, end);
    }
    Places breaks;
    for (const auto &[start, stop] : longLines)
        breakLine(data, start, stop, breaks);
    breaks.shrink_to_fit();
    return breaks;
}

void VirtualBreaks::reset(Places fileOffsets)
{
    // The i-th break moves on by the i breaks before it.
    for (size_t i = 0; i < fileOffsets.size(); ++i)
        fileOffsets[i] += quint32(i);
    m_positions = std::move(fileOffsets);
    m_stepFrom = 0;
    m_step = 0;
    m_deletions.clear();
    m_undone.clear();
}

void VirtualBreaks::clear()
{
    reset({});
}

size_t VirtualBreaks::lowerBound(qsizetype position) const
{
    size_t low = 0;
    size_t high = m_positions.size();
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (at(middle) < position)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

void VirtualBreaks::shiftFrom(size_t index, qsizetype delta)
{
    if (m_step == 0) {
        m_stepFrom = index;
    } else if (index >= m_stepFrom) {
        for (size_t i = m_stepFrom; i < index; ++i)
            m_positions[i] += quint32(m_step);
    } else {
        // Those between take this move but not the waiting one.
        for (size_t i = index; i < m_stepFrom; ++i)
            m_positions[i] -= quint32(m_step);
    }
    m_stepFrom = index;
    m_step += delta;
}

void VirtualBreaks::settle() const
{
    if (m_step != 0) {
        for (size_t i = m_stepFrom; i < m_positions.size(); ++i)
            m_positions[i] += quint32(m_step);
    }
    m_stepFrom = 0;
    m_step = 0;
}

bool VirtualBreaks::contains(qsizetype position) const
{
    const size_t index = lowerBound(position);
    return index < m_positions.size() && at(index) == position;
}

qsizetype VirtualBreaks::before(qsizetype fileOffset) const
{
    // at(i) - i, the file offset of the i-th break, grows with i.
    size_t low = 0;
    size_t high = m_positions.size();
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (at(middle) - qsizetype(middle) <= fileOffset)
            low = middle + 1;
        else
            high = middle;
    }
    return qsizetype(low);
}

qsizetype VirtualBreaks::countIn(qsizetype from, qsizetype to) const
{
    if (to <= from)
        return 0;
    return qsizetype(lowerBound(to) - lowerBound(from));
}

void VirtualBreaks::inserted(qsizetype position, qsizetype length, Change change,
    const std::function<char(qsizetype)> &charAt, const Places *breaks)
{
    shiftFrom(lowerBound(position), length);
    std::vector<Deletion> *stack = change == Change::Undo ? &m_deletions
        : change == Change::Redo                          ? &m_undone
                                                          : nullptr;
    Places added;
    if (stack) {
        // Puts back the latest deletion still on its stack.
        if (stack->empty())
            return;
        const Deletion deletion = std::move(stack->back());
        stack->pop_back();
        if (deletion.position != position || deletion.length != length)
            return;
        const bool same = std::all_of(deletion.offsets.begin(), deletion.offsets.end(),
            [&](qsizetype offset) { return charAt(position + offset) == '\r'; });
        if (!same)
            return;
        for (const qsizetype offset : deletion.offsets)
            added.push_back(quint32(position + offset));
    } else {
        // A new change: what was undone cannot be redone any more. Typed or pasted text is the
        // file's own; the editor's own text brings its breaks.
        m_undone.clear();
        if (breaks) {
            for (const quint32 offset : *breaks)
                added.push_back(quint32(position) + offset);
        }
    }
    if (added.empty())
        return;
    settle();
    m_positions.insert(m_positions.begin() + qsizetype(lowerBound(position)), added.begin(), added.end());
}

void VirtualBreaks::deleted(qsizetype position, qsizetype length, Change change)
{
    const size_t first = lowerBound(position);
    const size_t last = lowerBound(position + length);
    Deletion deletion { position, length, {} };
    if (first != last) {
        settle();
        deletion.offsets.reserve(last - first);
        for (size_t i = first; i < last; ++i)
            deletion.offsets.push_back(qsizetype(m_positions[i]) - position);
        m_positions.erase(m_positions.begin() + qsizetype(first), m_positions.begin() + qsizetype(last));
    }
    shiftFrom(first, -length);
    // Every deletion is remembered, so that an undo's or redo's text is matched with its own.
    if (change == Change::Undo) {
        m_undone.push_back(std::move(deletion));
        return;
    }
    if (change == Change::User)
        m_undone.clear();
    m_deletions.push_back(std::move(deletion));
}

QByteArray VirtualBreaks::withoutBreaks(const char *data, qsizetype size, qsizetype from) const
{
    settle();
    auto it = std::lower_bound(m_positions.begin(), m_positions.end(), from);
    const auto last = std::lower_bound(it, m_positions.end(), from + size);
    QByteArray out(size - (last - it), Qt::Uninitialized);
    char *w = out.data();
    qsizetype p = 0;
    for (; it != last; ++it) {
        const qsizetype at = *it - from;
        std::memcpy(w, data + p, size_t(at - p));
        w += at - p;
        p = at + 1;
    }
    std::memcpy(w, data + p, size_t(size - p));
    return out;
}
