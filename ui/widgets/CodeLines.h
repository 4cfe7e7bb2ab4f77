#pragma once

#include <QString>
#include <vector>

// The text of a code box and where each of its lines starts, kept up to date edit by edit.
// Positions count UTF-16 units of the text; a line ends before its LF. Every character sits
// in cells of a fixed-pitch font: one, two for wide (CJK, full-width) characters, four for a tab.
// Lines that hold only one-cell characters map cell to position directly; the others are walked
// from the last answer, so that work near the end of a very long line does not walk all of it.
class CodeLines {
public:
    struct Spot {
        qsizetype position;
        qsizetype cell;
    };

    CodeLines();

    const QString& text() const { return m_text; }
    qsizetype lineCount() const { return qsizetype(m_lines.size()); }
    qsizetype lineStart(qsizetype line) const { return m_lines[line].start; }
    qsizetype lineEnd(qsizetype line) const;
    qsizetype lineOf(qsizetype position) const;
    qsizetype widestLine() const;

    void replace(qsizetype from, qsizetype length, const QString& with);

    // The cell at which the character at position starts, counted from its line's start.
    qsizetype cellOf(qsizetype position) const;
    // The character of the line that covers the cell (or the line's end), and its first cell.
    Spot spotAtCell(qsizetype line, qsizetype cell) const;
    // The position between characters nearest to a point that lies cell cells into the line.
    qsizetype nearestPosition(qsizetype line, double cell) const;
    // One character on or back, a surrogate pair counting as one.
    qsizetype nextPosition(qsizetype position) const;
    qsizetype previousPosition(qsizetype position) const;

    static int cellsOf(char32_t c);

private:
    struct Line {
        qsizetype start;
        qsizetype cells;
        bool plain; // every character one cell wide
    };

    template <typename Stop> Spot walk(qsizetype line, Stop stop) const;
    Spot stepBack(Spot at) const;
    std::vector<Line> measure(qsizetype from, qsizetype to) const;
    Line measureLine(qsizetype from, qsizetype to) const;
    bool growLine(qsizetype line, qsizetype length, const QString& with);

    QString m_text;
    std::vector<Line> m_lines;
    mutable qsizetype m_markLine = -1; // the last walk's end, valid while nothing before it changes
    mutable Spot m_mark{0, 0};
};
