#pragma once

#include "ui/widgets/CodeLines.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QKeySequence>
#include <vector>

// A plain-text box for code that may hold lines of millions of characters. It keeps the text
// and its line starts (CodeLines) and draws only the lines and columns on screen, in cells of
// one width (two for a Chinese character), so pasting or typing into a very long line costs
// about as much as into a short one. Line breaks are LF; CR LF and CR become LF on the way in.
// Tab is left to the focus chain; Ctrl+Tab types a tab.
class CodeBox : public QAbstractScrollArea {
    Q_OBJECT
    Q_PROPERTY(QString plainText READ toPlainText WRITE setPlainText NOTIFY textChanged USER true)
public:
    explicit CodeBox(QWidget* parent = nullptr);

    QString toPlainText() const { return m_lines.text(); }
    // Replaces the whole text; the cursor goes to its start and nothing is left to undo.
    void setPlainText(const QString& text);
    // Puts text in place of the selection, or at the cursor, as a paste does.
    void insertPlainText(const QString& text);
    QString selectedText() const;
    qsizetype cursorPosition() const { return m_cursor; }
    qsizetype anchorPosition() const { return m_anchor; } // the selection's other end
    void setCursorPosition(qsizetype position, bool keepAnchor = false);
    // Puts text in place of length characters from `from`, as one step to undo.
    void replaceRange(qsizetype from, qsizetype length, const QString& text);
    // The cells of the character at position, and the position nearest a point, in viewport pixels.
    QRect characterRect(qsizetype position) const;
    qsizetype positionAt(const QPoint& point) const;

    void selectAll();
    void cut();
    void copy() const;
    void paste();
    void undo();
    void redo();

signals:
    void textChanged();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    enum class Motion {
        NextChar,
        PreviousChar,
        NextWord,
        PreviousWord,
        NextLine,
        PreviousLine,
        LineStart,
        LineEnd,
        TextStart,
        TextEnd,
        NextPage,
        PreviousPage
    };
    struct Edit {
        qsizetype at;
        QString removed;
        QString inserted;
        qsizetype cursorBefore;
        qsizetype anchorBefore;
    };

    bool moveByKey(const QKeyEvent* event);
    bool editByKey(const QKeyEvent* event);
    bool isEditKey(const QKeyEvent* event) const;
    qsizetype target(Motion motion, bool select) const;
    qsizetype wordEdge(qsizetype from, bool forward) const;
    qsizetype verticalTarget(qsizetype lines) const;
    qsizetype selectionStart() const { return std::min(m_cursor, m_anchor); }
    qsizetype selectionEnd() const { return std::max(m_cursor, m_anchor); }

    void replaceSelection(const QString& text, bool typing = false);
    void replace(qsizetype from, qsizetype length, const QString& text, bool typing);
    void record(qsizetype from, qsizetype length, const QString& text, bool typing);
    void apply(const Edit& edit, bool backwards);
    void moveEdit(std::vector<Edit>& from, std::vector<Edit>& to, bool backwards);
    void deleteBy(Motion motion);

    void keepCellFont();
    void updateMetrics();
    void updateScrollBars();
    void ensureCursorVisible();
    void restartBlink();
    qsizetype visibleLines() const;
    qsizetype visibleCells() const;
    double xOfCell(qsizetype cell) const;
    int yOfLine(qsizetype line) const;
    QPoint topLeftOf(qsizetype position) const;
    QRect cursorRect() const;
    void paintLine(QPainter& painter, qsizetype line) const;
    void paintSpan(QPainter& painter, QString text, const QRectF& box, bool selected, bool single) const;

    CodeLines m_lines;
    qsizetype m_cursor = 0;
    qsizetype m_anchor = 0;
    qsizetype m_goalCell = -1; // the column Up and Down keep to
    QString m_preedit;
    std::vector<Edit> m_undo;
    std::vector<Edit> m_redo;
    bool m_typing = false; // the last edit was typed and may take the next keystroke
    bool m_cursorOn = true;
    QBasicTimer m_blink;
    double m_cellWidth = 8;
    int m_lineHeight = 16;
    int m_ascent = 12;
};
