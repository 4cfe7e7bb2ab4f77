#pragma once

#include <QPlainTextEdit>
#include <QString>

class QLabel;

// The code box: Qt's own plain-text editor, so input methods, screen readers, undo and every
// script behave as everywhere else, with the keys of a form's text box: Tab and Shift+Tab move
// on, Ctrl+Tab types a tab. Line breaks are LF; a paste's CR LF and lone CR become LF.
//
// The editor slows down with very long lines and very long texts. A code that would pass either
// limit is held aside whole: the box shows its beginning read-only under a line that says how long
// it is; Delete clears it, a paste replaces it.
class CodeTextBox : public QPlainTextEdit {
    Q_OBJECT
    // The whole code, whether it is edited here or held aside.
    Q_PROPERTY(QString plainText READ code WRITE setCode NOTIFY textChanged USER true)
public:
    // Measured with bench/paste_bench --limits on a two-core machine, busy and quiet: in one line a
    // keystroke takes 50 ms from 6,000 to 20,000 characters on; in many lines it stays under 15 ms
    // however long the text, but pasting takes half a second from 500,000 to 1,600,000 on.
    static constexpr qsizetype kMostCharacters = 500'000;
    static constexpr qsizetype kLongestLine = 5'000;

    explicit CodeTextBox(QWidget* parent = nullptr);

    QString code() const;
    // Replaces the whole code; nothing is left to undo.
    void setCode(const QString& text);
    // Whether the code is too large to edit here and only its beginning is shown.
    bool isHeldAside() const { return m_heldAside; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool keyOfHeldCode(QKeyEvent* event);
    void pasteReplacing(const QString& text);
    void holdAside(QString text);
    void checkSizeAfterEdit();
    void placeNotice();

    QLabel* m_notice;
    QString m_whole; // the code while it is held aside
    bool m_heldAside = false;
};
