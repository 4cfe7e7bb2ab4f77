#include "ui/widgets/CodeTextBox.h"

#include "forms/Wording.h"
#include "ui/widgets/DesignUnits.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QTextBlock>
#include <algorithm>

namespace {

// What the box shows of a code held aside: enough to recognise it.
constexpr qsizetype kShownOfHeldCode = 4096;

QString withLineFeeds(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

// The editor keeps line breaks as paragraph separators (Shift+Enter's as line separators);
// everything else, no-break spaces included, is the code as typed.
QString withParagraphsAsLineFeeds(QString text) {
    text.replace(QChar::ParagraphSeparator, u'\n');
    text.replace(QChar::LineSeparator, u'\n');
    return text;
}

bool tooLargeToEdit(const QString& text) {
    if (text.size() > CodeTextBox::kMostCharacters)
        return true;
    qsizetype lineStart = 0;
    while (lineStart <= text.size()) {
        qsizetype lineEnd = text.indexOf(u'\n', lineStart);
        if (lineEnd < 0)
            lineEnd = text.size();
        if (lineEnd - lineStart > CodeTextBox::kLongestLine)
            return true;
        lineStart = lineEnd + 1;
    }
    return false;
}

} // namespace

CodeTextBox::CodeTextBox(QWidget* parent) : QPlainTextEdit(parent), m_notice(new QLabel(this)) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setTabChangesFocus(true);
    m_notice->setObjectName(QStringLiteral("Notice"));
    m_notice->setWordWrap(true);
    m_notice->setAutoFillBackground(true);
    m_notice->setBackgroundRole(QPalette::Window);
    m_notice->setMargin(2);
    m_notice->hide();
    // Typing over the limits is noticed once the keystroke is done with.
    connect(this, &QPlainTextEdit::textChanged, this, &CodeTextBox::checkSizeAfterEdit, Qt::QueuedConnection);
}

QString CodeTextBox::code() const {
    return m_heldAside ? m_whole : withParagraphsAsLineFeeds(document()->toRawText());
}

void CodeTextBox::setCode(const QString& text) {
    QString code = withLineFeeds(text);
    if (tooLargeToEdit(code))
        return holdAside(std::move(code));
    m_heldAside = false;
    m_whole.clear();
    m_notice->hide();
    setViewportMargins(0, 0, 0, 0);
    setReadOnly(false);
    setPlainText(code);
}

void CodeTextBox::holdAside(QString text) {
    m_heldAside = true;
    m_whole = std::move(text);
    m_notice->setText(QString::fromStdString(layout::heldCodeNotice(std::size_t(m_whole.size()))));
    m_notice->show();
    placeNotice();
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setPlainText(m_whole.left(kShownOfHeldCode));
}

void CodeTextBox::checkSizeAfterEdit() {
    if (m_heldAside)
        return;
    if (document()->characterCount() - 1 > kMostCharacters ||
        textCursor().block().length() - 1 > kLongestLine)
        holdAside(code());
}

void CodeTextBox::keyPressEvent(QKeyEvent* event) {
    if (m_heldAside && keyOfHeldCode(event))
        return;
    if (event->key() == Qt::Key_Tab && event->modifiers() == Qt::ControlModifier) {
        if (!isReadOnly())
            insertPlainText(QStringLiteral("\t"));
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

// A code held aside can only be cleared or replaced; selecting and copying stay as they are.
bool CodeTextBox::keyOfHeldCode(QKeyEvent* event) {
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == 0;
    if (plain && (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace))
        setCode({});
    else if (event->matches(QKeySequence::Paste))
        pasteReplacing(QApplication::clipboard()->text());
    else
        return false;
    return true;
}

void CodeTextBox::pasteReplacing(const QString& text) {
    if (!text.isEmpty())
        setCode(text);
}

void CodeTextBox::insertFromMimeData(const QMimeData* source) {
    if (!source->hasText())
        return;
    const QString text = withLineFeeds(source->text());
    // Only a paste longer than the longest line can pass a limit.
    if (text.size() > kLongestLine || textCursor().block().length() + text.size() > kLongestLine) {
        const QTextCursor cursor = textCursor();
        QString whole = code();
        whole.replace(cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart(), text);
        if (tooLargeToEdit(whole))
            return holdAside(std::move(whole));
    }
    QMimeData plain;
    plain.setText(text);
    QPlainTextEdit::insertFromMimeData(&plain);
}

QMimeData* CodeTextBox::createMimeDataFromSelection() const {
    const QTextCursor cursor = textCursor();
    const bool everything =
        cursor.selectionStart() == 0 && cursor.selectionEnd() >= document()->characterCount() - 1;
    auto* data = new QMimeData;
    data->setText(m_heldAside && everything ? m_whole : withParagraphsAsLineFeeds(cursor.selectedText()));
    return data;
}

void CodeTextBox::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu(event->pos());
    if (m_heldAside) {
        menu->addSeparator();
        QAction* paste = menu->addAction(toQString(layout::kPasteEntry), this,
                                         [this] { pasteReplacing(QApplication::clipboard()->text()); });
        paste->setShortcut(QKeySequence::Paste);
        paste->setEnabled(!QApplication::clipboard()->text().isEmpty());
        menu->addAction(toQString(layout::kDeleteEntry), this, [this] { setCode({}); })
            ->setShortcut(QKeySequence::Delete);
    }
    menu->exec(event->globalPos());
    delete menu;
}

void CodeTextBox::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    placeNotice();
}

// The notice stands above the text, inside the box's frame.
void CodeTextBox::placeNotice() {
    if (!m_heldAside)
        return;
    const int frame = frameWidth();
    const int width = std::max(1, this->width() - 2 * frame);
    const int height = m_notice->heightForWidth(width);
    m_notice->setGeometry(frame, frame, width, height);
    setViewportMargins(0, height, 0, 0);
}
