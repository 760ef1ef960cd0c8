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
    m_deletions.clear();
}

void VirtualBreaks::clear()
{
    m_positions.clear();
    m_deletions.clear();
}

bool VirtualBreaks::contains(qsizetype position) const
{
    return std::binary_search(m_positions.begin(), m_positions.end(), position);
}

qsizetype VirtualBreaks::countIn(qsizetype from, qsizetype to) const
{
    if (to <= from)
        return 0;
    const auto first = std::lower_bound(m_positions.begin(), m_positions.end(), from);
    return std::lower_bound(first, m_positions.end(), to) - first;
}

void VirtualBreaks::inserted(
    qsizetype position, qsizetype length, bool undo, const std::function<char(qsizetype)> &charAt)
{
    const auto first = std::lower_bound(m_positions.begin(), m_positions.end(), position);
    for (auto it = first; it != m_positions.end(); ++it)
        *it += length;
    if (!undo)
        return; // typed or pasted text is the file's own
    for (auto deletion = m_deletions.rbegin(); deletion != m_deletions.rend(); ++deletion) {
        if (deletion->position != position || deletion->length != length)
            continue;
        const bool same = std::all_of(deletion->offsets.begin(), deletion->offsets.end(),
            [&](qsizetype offset) { return charAt(position + offset) == '\r'; });
        if (!same)
            return;
        std::vector<qsizetype> restored;
        restored.reserve(deletion->offsets.size());
        for (const qsizetype offset : deletion->offsets)
            restored.push_back(position + offset);
        const auto at = std::lower_bound(m_positions.begin(), m_positions.end(), position);
        m_positions.insert(at, restored.begin(), restored.end());
        m_deletions.erase(std::next(deletion).base());
        return;
    }
}

void VirtualBreaks::deleted(qsizetype position, qsizetype length)
{
    const auto first = std::lower_bound(m_positions.begin(), m_positions.end(), position);
    const auto last = std::lower_bound(first, m_positions.end(), position + length);
    if (first != last) {
        Deletion deletion { position, length, {} };
        deletion.offsets.reserve(size_t(last - first));
        for (auto it = first; it != last; ++it)
            deletion.offsets.push_back(*it - position);
        m_deletions.push_back(std::move(deletion));
    }
    const auto rest = m_positions.erase(first, last);
    for (auto it = rest; it != m_positions.end(); ++it)
        *it -= length;
}

QByteArray VirtualBreaks::withoutBreaks(const char *data, qsizetype size, qsizetype from) const
{
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
