#include "ui/widgets/CodeBox.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <climits>
#include <cmath>

namespace {

constexpr int kMargin = 4;
// How much of a long line around the cursor an input method is shown.
constexpr qsizetype kSurrounding = 256;

QString withLineFeeds(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

bool isWordCharacter(QChar c) { return c.isLetterOrNumber() || c == u'_'; }

// Text a key press types: it starts with a printable character (a surrogate pair included).
bool isTyped(const QString& text) {
    if (text.isEmpty())
        return false;
    const bool pair = text.size() > 1 && text[0].isHighSurrogate() && text[1].isLowSurrogate();
    return QChar::isPrint(pair ? QChar::surrogateToUcs4(text[0], text[1]) : char32_t(text[0].unicode()));
}

bool isAscii(QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F; }

// A tab shows as blank cells, another control character as its picture.
QString shownCharacter(const QString& character) {
    const char16_t c = character[0].unicode();
    if (c == u'\t')
        return {};
    if (c < 0x20 || c == 0x7F)
        return QString(QChar(c == 0x7F ? 0x2421 : 0x2400 + c));
    return character;
}

int toInt(qsizetype value) { return int(std::clamp<qsizetype>(value, INT_MIN, INT_MAX)); }

// Screen readers see an editable text whose value is the code, and read and edit it by position.
class CodeBoxAccessible : public QAccessibleWidget,
                          public QAccessibleTextInterface,
                          public QAccessibleEditableTextInterface {
public:
    explicit CodeBoxAccessible(QWidget* box) : QAccessibleWidget(box, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        if (type == QAccessible::EditableTextInterface)
            return static_cast<QAccessibleEditableTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Value ? box()->toPlainText() : QAccessibleWidget::text(t);
    }
    void setText(QAccessible::Text t, const QString& text) override {
        if (t == QAccessible::Value)
            box()->replaceRange(0, box()->toPlainText().size(), text);
        else
            QAccessibleWidget::setText(t, text);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = true;
        s.multiLine = true;
        return s;
    }

    void selection(int index, int* start, int* end) const override {
        const bool any = index == 0 && selectionCount() == 1;
        *start = any ? toInt(std::min(box()->cursorPosition(), box()->anchorPosition())) : 0;
        *end = any ? toInt(std::max(box()->cursorPosition(), box()->anchorPosition())) : 0;
    }
    int selectionCount() const override { return box()->cursorPosition() != box()->anchorPosition() ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int) override { box()->setCursorPosition(box()->cursorPosition()); }
    void setSelection(int, int start, int end) override {
        box()->setCursorPosition(start);
        box()->setCursorPosition(end, true);
    }
    int cursorPosition() const override { return toInt(box()->cursorPosition()); }
    void setCursorPosition(int position) override { box()->setCursorPosition(position); }
    QString text(int start, int end) const override { return box()->toPlainText().mid(start, end - start); }
    int characterCount() const override { return toInt(box()->toPlainText().size()); }
    QRect characterRect(int offset) const override {
        return box()->characterRect(offset).translated(box()->viewport()->mapToGlobal(QPoint(0, 0)));
    }
    int offsetAtPoint(const QPoint& point) const override {
        return toInt(box()->positionAt(box()->viewport()->mapFromGlobal(point)));
    }
    void scrollToSubstring(int start, int) override { box()->setCursorPosition(start); }
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return {};
    }

    void deleteText(int start, int end) override { box()->replaceRange(start, end - start, {}); }
    void insertText(int offset, const QString& text) override { box()->replaceRange(offset, 0, text); }
    void replaceText(int start, int end, const QString& text) override {
        box()->replaceRange(start, end - start, text);
    }

private:
    CodeBox* box() const { return static_cast<CodeBox*>(widget()); }
};

QAccessibleInterface* accessibleCodeBox(const QString& className, QObject* object) {
    if (className != QLatin1String("CodeBox") || !object->isWidgetType())
        return nullptr;
    return new CodeBoxAccessible(static_cast<QWidget*>(object));
}

// Whether every ASCII character of the font is one width, as in a fixed-pitch font or in a
// Chinese font such as 宋体, whose Latin letters are half as wide as its characters.
bool fitsCells(const QFont& font) {
    const QFontMetricsF metrics(font);
    const double width = metrics.horizontalAdvance(QLatin1Char('x'));
    for (const char c : {'i', 'W', '.', 'm', ' '})
        if (std::abs(metrics.horizontalAdvance(QLatin1Char(c)) - width) > 0.01)
            return false;
    return true;
}

} // namespace

CodeBox::CodeBox(QWidget* parent) : QAbstractScrollArea(parent) {
    static const bool accessible = (QAccessible::installFactory(accessibleCodeBox), true);
    Q_UNUSED(accessible);
    keepCellFont();
    setAttribute(Qt::WA_InputMethodEnabled);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    updateMetrics();
}

// Columns are cells of one width: that is what lets a long line be drawn in part. A font that
// does not keep to them gives way to the system's fixed-pitch font of the same size.
void CodeBox::keepCellFont() {
    if (fitsCells(font()))
        return;
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (font().pointSizeF() > 0)
        fixed.setPointSizeF(font().pointSizeF());
    setFont(fixed);
}

void CodeBox::setPlainText(const QString& text) {
    m_lines.replace(0, m_lines.text().size(), withLineFeeds(text));
    m_undo.clear();
    m_redo.clear();
    m_preedit.clear();
    updateScrollBars();
    setCursorPosition(0);
    emit textChanged();
}

void CodeBox::insertPlainText(const QString& text) { replaceSelection(withLineFeeds(text)); }

void CodeBox::replaceRange(qsizetype from, qsizetype length, const QString& text) {
    const qsizetype size = m_lines.text().size();
    from = std::clamp<qsizetype>(from, 0, size);
    replace(from, std::clamp<qsizetype>(length, 0, size - from), withLineFeeds(text), false);
}

QString CodeBox::selectedText() const {
    return m_lines.text().mid(selectionStart(), selectionEnd() - selectionStart());
}

void CodeBox::setCursorPosition(qsizetype position, bool keepAnchor) {
    const QString& text = m_lines.text();
    position = std::clamp<qsizetype>(position, 0, text.size());
    if (position > 0 && position < text.size() && text[position].isLowSurrogate() &&
        text[position - 1].isHighSurrogate())
        --position; // never between the halves of one character
    m_cursor = position;
    if (!keepAnchor)
        m_anchor = position;
    m_goalCell = -1;
    m_typing = false;
    ensureCursorVisible();
    restartBlink();
}

void CodeBox::selectAll() {
    m_anchor = 0;
    setCursorPosition(m_lines.text().size(), true);
}

void CodeBox::cut() {
    copy();
    replaceSelection({});
}

void CodeBox::copy() const {
    if (m_cursor != m_anchor)
        QApplication::clipboard()->setText(selectedText());
}

void CodeBox::paste() {
    const QString text = QApplication::clipboard()->text();
    if (!text.isEmpty())
        insertPlainText(text);
}

void CodeBox::undo() { moveEdit(m_undo, m_redo, true); }

void CodeBox::redo() { moveEdit(m_redo, m_undo, false); }

void CodeBox::moveEdit(std::vector<Edit>& from, std::vector<Edit>& to, bool backwards) {
    if (from.empty())
        return;
    Edit edit = std::move(from.back());
    from.pop_back();
    apply(edit, backwards);
    to.push_back(std::move(edit));
}

void CodeBox::replaceSelection(const QString& text, bool typing) {
    replace(selectionStart(), selectionEnd() - selectionStart(), text, typing);
}

void CodeBox::replace(qsizetype from, qsizetype length, const QString& text, bool typing) {
    if (length == 0 && text.isEmpty())
        return;
    record(from, length, text, typing);
    m_lines.replace(from, length, text);
    updateScrollBars();
    m_anchor = from + text.size();
    setCursorPosition(m_anchor);
    m_typing = typing;
    emit textChanged();
}

// A run of typed characters is undone as one, as is a paste.
void CodeBox::record(qsizetype from, qsizetype length, const QString& text, bool typing) {
    m_redo.clear();
    if (typing && m_typing && length == 0 && !m_undo.empty()) {
        Edit& last = m_undo.back();
        if (last.at + last.inserted.size() == from) {
            last.inserted += text;
            return;
        }
    }
    m_undo.push_back({from, m_lines.text().mid(from, length), text, m_cursor, m_anchor});
}

void CodeBox::apply(const Edit& edit, bool backwards) {
    const QString& out = backwards ? edit.inserted : edit.removed;
    const QString& in = backwards ? edit.removed : edit.inserted;
    m_lines.replace(edit.at, out.size(), in);
    updateScrollBars();
    m_anchor = backwards ? edit.anchorBefore : edit.at + in.size();
    setCursorPosition(backwards ? edit.cursorBefore : m_anchor, true);
    emit textChanged();
}

void CodeBox::deleteBy(Motion motion) {
    if (m_cursor == m_anchor)
        m_anchor = target(motion, true);
    replaceSelection({});
}

bool CodeBox::event(QEvent* event) {
    // Keys the box handles itself are not taken away by a window's shortcuts.
    if (event->type() == QEvent::ShortcutOverride && isEditKey(static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QAbstractScrollArea::event(event);
}

bool CodeBox::isEditKey(const QKeyEvent* event) const {
    static const QKeySequence::StandardKey keys[] = {QKeySequence::Copy,
                                                     QKeySequence::Cut,
                                                     QKeySequence::Paste,
                                                     QKeySequence::Undo,
                                                     QKeySequence::Redo,
                                                     QKeySequence::SelectAll,
                                                     QKeySequence::Delete,
                                                     QKeySequence::DeleteEndOfWord,
                                                     QKeySequence::DeleteStartOfWord,
                                                     QKeySequence::MoveToStartOfLine,
                                                     QKeySequence::MoveToEndOfLine,
                                                     QKeySequence::MoveToStartOfDocument,
                                                     QKeySequence::MoveToEndOfDocument};
    if (std::any_of(std::begin(keys), std::end(keys), [event](auto key) { return event->matches(key); }))
        return true;
    const bool command =
        (event->modifiers() & Qt::ControlModifier) && !(event->modifiers() & Qt::AltModifier);
    return !command && isTyped(event->text());
}

void CodeBox::keyPressEvent(QKeyEvent* event) {
    if (moveByKey(event) || editByKey(event))
        return;
    const QString text = event->text();
    const bool command =
        (event->modifiers() & Qt::ControlModifier) && !(event->modifiers() & Qt::AltModifier);
    if (command || !isTyped(text)) {
        event->ignore();
        return;
    }
    replaceSelection(text, true);
}

bool CodeBox::editByKey(const QKeyEvent* event) {
    const int key = event->key();
    const bool plain = (event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) == 0;
    if (event->matches(QKeySequence::Copy))
        copy();
    else if (event->matches(QKeySequence::Cut))
        cut();
    else if (event->matches(QKeySequence::Paste))
        paste();
    else if (event->matches(QKeySequence::Undo))
        undo();
    else if (event->matches(QKeySequence::Redo))
        redo();
    else if (event->matches(QKeySequence::SelectAll))
        selectAll();
    else if (event->matches(QKeySequence::DeleteStartOfWord))
        deleteBy(Motion::PreviousWord);
    else if (event->matches(QKeySequence::DeleteEndOfWord))
        deleteBy(Motion::NextWord);
    else if (event->matches(QKeySequence::Delete) || (key == Qt::Key_Delete && plain))
        deleteBy(Motion::NextChar);
    else if (key == Qt::Key_Backspace && plain)
        deleteBy(Motion::PreviousChar);
    else if ((key == Qt::Key_Return || key == Qt::Key_Enter) && plain)
        replaceSelection(QStringLiteral("\n"), true);
    else if (key == Qt::Key_Tab && event->modifiers() == Qt::ControlModifier)
        replaceSelection(QStringLiteral("\t"), true);
    else
        return false;
    return true;
}

bool CodeBox::moveByKey(const QKeyEvent* event) {
    using K = QKeySequence;
    static const struct {
        K::StandardKey move, select;
        Motion motion;
    } keys[] = {{K::MoveToNextChar, K::SelectNextChar, Motion::NextChar},
                {K::MoveToPreviousChar, K::SelectPreviousChar, Motion::PreviousChar},
                {K::MoveToNextWord, K::SelectNextWord, Motion::NextWord},
                {K::MoveToPreviousWord, K::SelectPreviousWord, Motion::PreviousWord},
                {K::MoveToNextLine, K::SelectNextLine, Motion::NextLine},
                {K::MoveToPreviousLine, K::SelectPreviousLine, Motion::PreviousLine},
                {K::MoveToStartOfLine, K::SelectStartOfLine, Motion::LineStart},
                {K::MoveToEndOfLine, K::SelectEndOfLine, Motion::LineEnd},
                {K::MoveToStartOfDocument, K::SelectStartOfDocument, Motion::TextStart},
                {K::MoveToEndOfDocument, K::SelectEndOfDocument, Motion::TextEnd},
                {K::MoveToNextPage, K::SelectNextPage, Motion::NextPage},
                {K::MoveToPreviousPage, K::SelectPreviousPage, Motion::PreviousPage}};
    for (const auto& key : keys) {
        const bool select = event->matches(key.select);
        if (!select && !event->matches(key.move))
            continue;
        const bool vertical = key.motion == Motion::NextLine || key.motion == Motion::PreviousLine ||
                              key.motion == Motion::NextPage || key.motion == Motion::PreviousPage;
        const qsizetype goal = m_goalCell >= 0 ? m_goalCell : m_lines.cellOf(m_cursor);
        setCursorPosition(target(key.motion, select), select);
        if (vertical)
            m_goalCell = goal;
        return true;
    }
    return false;
}

qsizetype CodeBox::target(Motion motion, bool select) const {
    const qsizetype line = m_lines.lineOf(m_cursor);
    const bool collapse = !select && m_cursor != m_anchor; // an arrow first leaves the selection at its side
    switch (motion) {
    case Motion::NextChar:
        return collapse ? selectionEnd() : m_lines.nextPosition(m_cursor);
    case Motion::PreviousChar:
        return collapse ? selectionStart() : m_lines.previousPosition(m_cursor);
    case Motion::NextWord:
        return wordEdge(m_cursor, true);
    case Motion::PreviousWord:
        return wordEdge(m_cursor, false);
    case Motion::NextLine:
        return verticalTarget(1);
    case Motion::PreviousLine:
        return verticalTarget(-1);
    case Motion::NextPage:
        return verticalTarget(visibleLines());
    case Motion::PreviousPage:
        return verticalTarget(-visibleLines());
    case Motion::LineStart:
        return m_lines.lineStart(line);
    case Motion::LineEnd:
        return m_lines.lineEnd(line);
    case Motion::TextStart:
        return 0;
    case Motion::TextEnd:
        return m_lines.text().size();
    }
    return m_cursor;
}

qsizetype CodeBox::wordEdge(qsizetype from, bool forward) const {
    const QString& text = m_lines.text();
    qsizetype p = from;
    if (forward) {
        while (p < text.size() && isWordCharacter(text[p]))
            ++p;
        while (p < text.size() && !isWordCharacter(text[p]))
            ++p;
    } else {
        while (p > 0 && !isWordCharacter(text[p - 1]))
            --p;
        while (p > 0 && isWordCharacter(text[p - 1]))
            --p;
    }
    return p;
}

qsizetype CodeBox::verticalTarget(qsizetype lines) const {
    const qsizetype goal = m_goalCell >= 0 ? m_goalCell : m_lines.cellOf(m_cursor);
    const qsizetype line =
        std::clamp<qsizetype>(m_lines.lineOf(m_cursor) + lines, 0, m_lines.lineCount() - 1);
    return m_lines.spotAtCell(line, goal).position;
}

void CodeBox::inputMethodEvent(QInputMethodEvent* event) {
    const qsizetype size = m_lines.text().size();
    if (event->replacementLength() > 0) {
        m_anchor = std::clamp<qsizetype>(m_cursor + event->replacementStart(), 0, size);
        m_cursor = std::clamp<qsizetype>(m_anchor + event->replacementLength(), m_anchor, size);
    }
    if (event->replacementLength() > 0 || !event->commitString().isEmpty())
        replaceSelection(event->commitString(), true);
    m_preedit = event->preeditString();
    viewport()->update();
    event->accept();
}

QVariant CodeBox::inputMethodQuery(Qt::InputMethodQuery query) const {
    const qsizetype line = m_lines.lineOf(m_cursor);
    const qsizetype from = std::max(m_lines.lineStart(line), m_cursor - kSurrounding);
    const qsizetype to = std::min(m_lines.lineEnd(line), m_cursor + kSurrounding);
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorRectangle:
        return cursorRect().translated(viewport()->pos());
    case Qt::ImFont:
        return font();
    case Qt::ImCursorPosition:
        return toInt(m_cursor - from);
    case Qt::ImAnchorPosition:
        return toInt(std::clamp(m_anchor, from, to) - from);
    case Qt::ImAbsolutePosition:
        return qlonglong(m_cursor);
    case Qt::ImSurroundingText:
        return m_lines.text().mid(from, to - from);
    case Qt::ImCurrentSelection:
        return selectedText();
    case Qt::ImHints:
        return int(Qt::ImhMultiLine);
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

void CodeBox::mousePressEvent(QMouseEvent* event) {
    if (!m_preedit.isEmpty()) // a click ends a composition where it was, not where the click is
        QGuiApplication::inputMethod()->commit();
    if (event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mousePressEvent(event);
    setCursorPosition(positionAt(event->position().toPoint()), event->modifiers() & Qt::ShiftModifier);
}

void CodeBox::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton)
        setCursorPosition(positionAt(event->position().toPoint()), true);
}

void CodeBox::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const QString& text = m_lines.text();
    qsizetype start = positionAt(event->position().toPoint());
    qsizetype end = start;
    while (start > 0 && isWordCharacter(text[start - 1]))
        --start;
    while (end < text.size() && isWordCharacter(text[end]))
        ++end;
    m_anchor = start;
    setCursorPosition(end, true);
}

void CodeBox::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    const bool selected = m_cursor != m_anchor;
    const auto add = [&](const char* text, QKeySequence::StandardKey key, bool enabled,
                         void (CodeBox::*slot)()) {
        QAction* action = menu.addAction(QString::fromUtf8(text), this, slot);
        action->setShortcut(key);
        action->setEnabled(enabled);
    };
    add("撤销(&U)", QKeySequence::Undo, !m_undo.empty(), &CodeBox::undo);
    add("重做(&R)", QKeySequence::Redo, !m_redo.empty(), &CodeBox::redo);
    menu.addSeparator();
    add("剪切(&T)", QKeySequence::Cut, selected, &CodeBox::cut);
    menu.addAction(QString::fromUtf8("复制(&C)"), this, [this] { copy(); })->setEnabled(selected);
    add("粘贴(&P)", QKeySequence::Paste, !QApplication::clipboard()->text().isEmpty(), &CodeBox::paste);
    menu.addSeparator();
    add("全选(&A)", QKeySequence::SelectAll, !m_lines.text().isEmpty(), &CodeBox::selectAll);
    menu.exec(event->globalPos());
}

void CodeBox::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    restartBlink();
}

void CodeBox::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    m_blink.stop();
    viewport()->update();
}

void CodeBox::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void CodeBox::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        keepCellFont();
        updateMetrics();
    }
}

void CodeBox::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_blink.timerId())
        return QAbstractScrollArea::timerEvent(event);
    m_cursorOn = !m_cursorOn;
    viewport()->update(cursorRect());
}

void CodeBox::scrollContentsBy(int, int) { viewport()->update(); }

void CodeBox::updateMetrics() {
    const QFontMetricsF metrics(font());
    m_cellWidth = metrics.horizontalAdvance(QLatin1Char('x'));
    m_lineHeight = int(std::ceil(metrics.lineSpacing()));
    m_ascent = int(std::round(metrics.ascent()));
    updateScrollBars();
    viewport()->update();
}

void CodeBox::updateScrollBars() {
    QScrollBar* vertical = verticalScrollBar();
    vertical->setRange(0, toInt(m_lines.lineCount() - visibleLines()));
    vertical->setPageStep(toInt(visibleLines()));
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setRange(0, toInt(m_lines.widestLine() + 1 - visibleCells()));
    horizontal->setPageStep(toInt(visibleCells()));
}

void CodeBox::ensureCursorVisible() {
    const qsizetype line = m_lines.lineOf(m_cursor);
    QScrollBar* vertical = verticalScrollBar();
    if (line < vertical->value())
        vertical->setValue(toInt(line));
    else if (line >= vertical->value() + visibleLines())
        vertical->setValue(toInt(line - visibleLines() + 1));
    const qsizetype cell = m_lines.cellOf(m_cursor);
    QScrollBar* horizontal = horizontalScrollBar();
    if (cell < horizontal->value()) // back to the left: show what comes before the cursor too
        horizontal->setValue(toInt(cell - visibleCells() / 2));
    else if (cell >= horizontal->value() + visibleCells())
        horizontal->setValue(toInt(cell - visibleCells() + 1));
}

void CodeBox::restartBlink() {
    m_cursorOn = true;
    const int flash = QApplication::cursorFlashTime();
    if (hasFocus() && flash > 0)
        m_blink.start(flash / 2, this);
    else
        m_blink.stop();
    viewport()->update();
    if (hasFocus())
        QGuiApplication::inputMethod()->update(Qt::ImQueryInput);
}

qsizetype CodeBox::visibleLines() const {
    return std::max(1, (viewport()->height() - kMargin) / m_lineHeight);
}

qsizetype CodeBox::visibleCells() const {
    return std::max(1, int((viewport()->width() - kMargin) / m_cellWidth));
}

double CodeBox::xOfCell(qsizetype cell) const {
    return kMargin + double(cell - horizontalScrollBar()->value()) * m_cellWidth;
}

int CodeBox::yOfLine(qsizetype line) const {
    return kMargin + toInt(line - verticalScrollBar()->value()) * m_lineHeight;
}

QPoint CodeBox::topLeftOf(qsizetype position) const {
    const int x = int(std::clamp(std::floor(xOfCell(m_lines.cellOf(position))), -1e6, 1e6));
    return QPoint(x, yOfLine(m_lines.lineOf(position)));
}

QRect CodeBox::cursorRect() const { return QRect(topLeftOf(m_cursor), QSize(1, m_lineHeight)); }

QRect CodeBox::characterRect(qsizetype position) const {
    position = std::clamp<qsizetype>(position, 0, m_lines.text().size());
    const bool sameLine = position < m_lines.text().size() && m_lines.text()[position] != u'\n';
    const qsizetype cells = sameLine ? std::max<qsizetype>(1, m_lines.cellOf(m_lines.nextPosition(position)) -
                                                                  m_lines.cellOf(position))
                                     : 1;
    return QRect(topLeftOf(position), QSize(std::max(1, int(cells * m_cellWidth)), m_lineHeight));
}

qsizetype CodeBox::positionAt(const QPoint& point) const {
    const qsizetype row = qsizetype(std::floor(double(point.y() - kMargin) / m_lineHeight));
    const qsizetype line =
        std::clamp<qsizetype>(verticalScrollBar()->value() + row, 0, m_lines.lineCount() - 1);
    const double cell = horizontalScrollBar()->value() + (point.x() - kMargin) / m_cellWidth;
    return m_lines.nearestPosition(line, cell);
}

void CodeBox::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const qsizetype first = verticalScrollBar()->value();
    const qsizetype last = std::min(m_lines.lineCount(), first + visibleLines() + 1);
    for (qsizetype line = first; line < last; ++line)
        paintLine(painter, line);
    if (!hasFocus())
        return;
    const QRect cursor = cursorRect();
    if (!m_preedit.isEmpty()) {
        // What the input method is composing, underlined, over the text after the cursor.
        const double width = QFontMetricsF(font()).horizontalAdvance(m_preedit);
        painter.fillRect(QRectF(cursor.left(), cursor.top(), width, m_lineHeight), palette().base());
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(QPointF(cursor.left(), cursor.top() + m_ascent), m_preedit);
        painter.drawLine(QPointF(cursor.left(), cursor.bottom()),
                         QPointF(cursor.left() + width, cursor.bottom()));
    } else if (m_cursorOn) {
        painter.fillRect(cursor, palette().text());
    }
}

// Draws the characters of the line that are in view: ASCII in runs, every other character on
// its own, centred in its cells.
void CodeBox::paintLine(QPainter& painter, qsizetype line) const {
    const QString& text = m_lines.text();
    const qsizetype end = m_lines.lineEnd(line);
    const qsizetype lastCell = horizontalScrollBar()->value() + visibleCells() + 2;
    const int y = yOfLine(line);
    const auto selected = [this](qsizetype p) { return p >= selectionStart() && p < selectionEnd(); };
    CodeLines::Spot at = m_lines.spotAtCell(line, horizontalScrollBar()->value());
    while (at.position < end && at.cell < lastCell) {
        const bool inSelection = selected(at.position);
        qsizetype next = at.position;
        while (next < end && isAscii(text[next]) && at.cell + (next - at.position) < lastCell &&
               selected(next) == inSelection)
            ++next;
        qsizetype cells = next - at.position;
        const bool single = cells == 0;
        if (single) {
            next = m_lines.nextPosition(at.position);
            cells =
                CodeLines::cellsOf(QStringView(text).mid(at.position, next - at.position).toUcs4().value(0));
        }
        paintSpan(painter, text.mid(at.position, next - at.position),
                  QRectF(xOfCell(at.cell), y, cells * m_cellWidth, m_lineHeight), inSelection, single);
        at = {next, at.cell + cells};
    }
    if (end < text.size() && selected(end) && at.position == end) // the line break itself
        painter.fillRect(QRectF(xOfCell(at.cell), y, m_cellWidth, m_lineHeight), palette().highlight());
}

void CodeBox::paintSpan(QPainter& painter, QString text, const QRectF& box, bool selected,
                        bool single) const {
    if (selected)
        painter.fillRect(box, palette().highlight());
    painter.setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
    double x = box.left();
    if (single) {
        text = shownCharacter(text);
        x += (box.width() - QFontMetricsF(font()).horizontalAdvance(text)) / 2;
    }
    painter.drawText(QPointF(x, box.top() + m_ascent), text);
}
