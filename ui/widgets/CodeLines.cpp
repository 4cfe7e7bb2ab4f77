#include "ui/widgets/CodeLines.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr int kTabCells = 4;

bool isWide(char32_t c) {
    // East Asian wide and full-width characters, as terminals draw them.
    static constexpr char32_t ranges[][2] = {
        {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},  {0x2E80, 0x303E}, {0x3041, 0x33FF},
        {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},  {0xA960, 0xA97F}, {0xAC00, 0xD7A3},
        {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},  {0xFF00, 0xFF60}, {0xFFE0, 0xFFE6},
        {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD}};
    for (const auto& range : ranges)
        if (c >= range[0] && c <= range[1])
            return true;
    return false;
}

// The character starting at p, and how many UTF-16 units it takes.
char32_t codeAt(const QChar* p, const QChar* end, int& units) {
    if (p->isHighSurrogate() && p + 1 < end && p[1].isLowSurrogate()) {
        units = 2;
        return QChar::surrogateToUcs4(p[0], p[1]);
    }
    units = 1;
    return p->unicode();
}

bool isPlain(char16_t c) { return c >= 0x20 && c < 0x1100 && !QChar::isSurrogate(c); }

} // namespace

int CodeLines::cellsOf(char32_t c) {
    if (c == u'\t')
        return kTabCells;
    return c >= 0x1100 && isWide(c) ? 2 : 1;
}

CodeLines::CodeLines() : m_lines{{0, 0, true}} {}

qsizetype CodeLines::lineEnd(qsizetype line) const {
    return line + 1 < lineCount() ? m_lines[line + 1].start - 1 : m_text.size();
}

qsizetype CodeLines::lineOf(qsizetype position) const {
    const auto after = std::upper_bound(m_lines.begin(), m_lines.end(), position,
                                        [](qsizetype p, const Line& line) { return p < line.start; });
    return std::distance(m_lines.begin(), after) - 1;
}

qsizetype CodeLines::widestLine() const {
    qsizetype widest = 0;
    for (const Line& line : m_lines)
        widest = std::max(widest, line.cells);
    return widest;
}

CodeLines::Line CodeLines::measureLine(qsizetype from, qsizetype to) const {
    Line line{from, 0, true};
    const QChar* p = m_text.constData() + from;
    const QChar* end = m_text.constData() + to;
    while (p < end) {
        if (isPlain(p->unicode())) {
            ++line.cells;
            ++p;
            continue;
        }
        int units;
        line.cells += cellsOf(codeAt(p, end, units));
        line.plain = false;
        p += units;
    }
    return line;
}

std::vector<CodeLines::Line> CodeLines::measure(qsizetype from, qsizetype to) const {
    std::vector<Line> lines;
    for (;;) {
        qsizetype lf = m_text.indexOf(u'\n', from);
        if (lf < 0 || lf >= to)
            lf = to;
        lines.push_back(measureLine(from, lf));
        if (lf == to)
            return lines;
        from = lf + 1;
    }
}

// Typing one-cell characters into a line only adds to its width: no need to walk the line again.
bool CodeLines::growLine(qsizetype line, qsizetype length, const QString& with) {
    Line& changed = m_lines[line];
    if (length > 0 && !changed.plain)
        return false;
    if (!std::all_of(with.begin(), with.end(), [](QChar c) { return isPlain(c.unicode()); }))
        return false;
    changed.cells += with.size() - length;
    return true;
}

void CodeLines::replace(qsizetype from, qsizetype length, const QString& with) {
    const qsizetype first = lineOf(from);
    const qsizetype last = lineOf(from + length);
    const qsizetype delta = with.size() - length;
    const qsizetype oldEnd = lineEnd(last);
    const bool grown = first == last && growLine(first, length, with);
    m_text.replace(from, length, with);
    if (m_mark.position > from)
        m_markLine = -1;
    auto next = m_lines.begin() + last + 1;
    if (!grown) {
        std::vector<Line> lines = measure(m_lines[first].start, oldEnd + delta);
        next = m_lines.erase(m_lines.begin() + first, next);
        next = m_lines.insert(next, lines.begin(), lines.end()) + qsizetype(lines.size());
    }
    for (; next != m_lines.end(); ++next)
        next->start += delta;
}

// The first character of the line for which stop(position, first cell, cell after) holds, or
// the line's end. Walks from the last walk's end, back or on, when that is on the same line:
// work near one place of a very long line never goes through all of it.
template <typename Stop> CodeLines::Spot CodeLines::walk(qsizetype line, Stop stop) const {
    const qsizetype start = m_lines[line].start;
    Spot at = m_markLine == line ? m_mark : Spot{start, 0};
    while (at.position > start) {
        const Spot before = stepBack(at);
        if (!stop(before.position, before.cell, at.cell))
            break;
        at = before;
    }
    const QChar* end = m_text.constData() + lineEnd(line);
    int units;
    for (const QChar* p = m_text.constData() + at.position; p < end; p += units) {
        const qsizetype cells = cellsOf(codeAt(p, end, units));
        if (stop(at.position, at.cell, at.cell + cells))
            break;
        at.position += units;
        at.cell += cells;
    }
    m_markLine = line;
    m_mark = at;
    return at;
}

CodeLines::Spot CodeLines::stepBack(Spot at) const {
    const qsizetype before = previousPosition(at.position);
    int units;
    return {before,
            at.cell - cellsOf(codeAt(m_text.constData() + before, m_text.constData() + at.position, units))};
}

qsizetype CodeLines::cellOf(qsizetype position) const {
    const qsizetype line = lineOf(position);
    if (m_lines[line].plain)
        return position - m_lines[line].start;
    return walk(line, [position](qsizetype p, qsizetype, qsizetype) { return p >= position; }).cell;
}

CodeLines::Spot CodeLines::spotAtCell(qsizetype line, qsizetype cell) const {
    const Line& l = m_lines[line];
    if (l.plain) {
        const qsizetype c = std::clamp<qsizetype>(cell, 0, l.cells);
        return {l.start + c, c};
    }
    return walk(line, [cell](qsizetype, qsizetype, qsizetype after) { return after > cell; });
}

qsizetype CodeLines::nearestPosition(qsizetype line, double cell) const {
    const Line& l = m_lines[line];
    if (l.plain)
        return l.start + std::clamp<qsizetype>(qsizetype(cell + 0.5), 0, l.cells);
    // A character is passed when the point lies beyond its middle.
    const auto pastMiddle = [cell](qsizetype, qsizetype first, qsizetype after) {
        return (first + after) / 2.0 > cell;
    };
    return walk(line, pastMiddle).position;
}

qsizetype CodeLines::nextPosition(qsizetype position) const {
    if (position >= m_text.size())
        return m_text.size();
    int units;
    codeAt(m_text.constData() + position, m_text.constData() + m_text.size(), units);
    return position + units;
}

qsizetype CodeLines::previousPosition(qsizetype position) const {
    if (position <= 0)
        return 0;
    const bool pair =
        position >= 2 && m_text[position - 1].isLowSurrogate() && m_text[position - 2].isHighSurrogate();
    return position - (pair ? 2 : 1);
}
