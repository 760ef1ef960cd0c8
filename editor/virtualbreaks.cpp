#include "editor/virtualbreaks.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

bool isContinuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

const char *findByte(const char *from, const char *end, char byte)
{
    const void *found = std::memchr(from, byte, size_t(end - from));
    return found ? static_cast<const char *>(found) : end;
}

// The breaks of one long line's bytes [start, end), its line end excluded.
void breakLine(const char *data, qsizetype start, qsizetype end, std::vector<qsizetype> &breaks)
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
                breaks.push_back(q + 1);
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
        while (p < end - 1 && isContinuation(data[p + 1]))
            ++p;
        if (p >= end - 1)
            return;
        breaks.push_back(p + 1);
        last = p + 1;
        p = last;
    }
}

} // namespace

std::vector<qsizetype> VirtualBreaks::find(const char *data, qsizetype size)
{
    // Lines end at LF, CR LF or a lone CR, as Scintilla counts them. Each search for the next CR
    // and the next LF runs once per hit, so a file of one kind of line end costs one pass.
    const char *const end = data + size;
    const char *nextCr = findByte(data, end, '\r');
    const char *nextLf = findByte(data, end, '\n');
    std::vector<std::pair<qsizetype, qsizetype>> longLines;
    qsizetype lines = 1;
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
        if (++lines > maxLines)
            return {};
        p = lineEnd + (*lineEnd == '\r' && lineEnd + 1 < end && lineEnd[1] == '\n' ? 2 : 1);
    }
    std::vector<qsizetype> breaks;
    for (const auto &[start, stop] : longLines)
        breakLine(data, start, stop, breaks);
    return breaks;
}

void VirtualBreaks::reset(std::vector<qsizetype> fileOffsets)
{
    // The i-th break moves on by the i breaks before it.
    for (size_t i = 0; i < fileOffsets.size(); ++i)
        fileOffsets[i] += qsizetype(i);
    m_positions = std::move(fileOffsets);
    m_stepFrom = 0;
    m_step = 0;
    m_deletions.clear();
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
            m_positions[i] += m_step;
    } else {
        // Those between take this move but not the waiting one.
        for (size_t i = index; i < m_stepFrom; ++i)
            m_positions[i] -= m_step;
    }
    m_stepFrom = index;
    m_step += delta;
}

void VirtualBreaks::settle() const
{
    if (m_step != 0) {
        for (size_t i = m_stepFrom; i < m_positions.size(); ++i)
            m_positions[i] += m_step;
    }
    m_stepFrom = 0;
    m_step = 0;
}

bool VirtualBreaks::contains(qsizetype position) const
{
    const size_t index = lowerBound(position);
    return index < m_positions.size() && at(index) == position;
}

qsizetype VirtualBreaks::countIn(qsizetype from, qsizetype to) const
{
    if (to <= from)
        return 0;
    return qsizetype(lowerBound(to) - lowerBound(from));
}

void VirtualBreaks::inserted(
    qsizetype position, qsizetype length, bool undo, const std::function<char(qsizetype)> &charAt)
{
    shiftFrom(lowerBound(position), length);
    // Undo puts back the latest deletion still done; typed or pasted text is the file's own.
    if (!undo || m_deletions.empty())
        return;
    const Deletion deletion = std::move(m_deletions.back());
    m_deletions.pop_back();
    if (deletion.position != position || deletion.length != length || deletion.offsets.empty())
        return;
    const bool same = std::all_of(deletion.offsets.begin(), deletion.offsets.end(),
        [&](qsizetype offset) { return charAt(position + offset) == '\r'; });
    if (!same)
        return;
    settle();
    std::vector<qsizetype> restored;
    restored.reserve(deletion.offsets.size());
    for (const qsizetype offset : deletion.offsets)
        restored.push_back(position + offset);
    const auto where = std::lower_bound(m_positions.begin(), m_positions.end(), position);
    m_positions.insert(where, restored.begin(), restored.end());
}

void VirtualBreaks::deleted(qsizetype position, qsizetype length, bool undo)
{
    const size_t first = lowerBound(position);
    const size_t last = lowerBound(position + length);
    Deletion deletion { position, length, {} };
    if (first != last) {
        settle();
        deletion.offsets.reserve(last - first);
        for (size_t i = first; i < last; ++i)
            deletion.offsets.push_back(m_positions[i] - position);
        m_positions.erase(m_positions.begin() + qsizetype(first), m_positions.begin() + qsizetype(last));
    }
    // Every deletion an undo may put back, so that an undo's text is matched with its own.
    if (!undo)
        m_deletions.push_back(std::move(deletion));
    shiftFrom(first, -length);
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
