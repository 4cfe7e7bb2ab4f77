#pragma once

#include "ui/widgets/CodeTextBox.h"

#include <QString>
#include <QWidget>

class QCheckBox;

// The code window: whatever Text1 holds is the code a batch run inserts. There is no
// other copy of it, so the window is only ever hidden while the program runs; the
// exit sequence alone closes it for good.
class Texts : public QWidget {
    Q_OBJECT
public:
    explicit Texts(QWidget* parent = nullptr);

    // The code exactly as the box holds it, line breaks as LF.
    QString code() const;
    // Not twice: a file that holds the code at its place is left alone.
    bool once() const;
    // Head: behind a leading #!, <?xml or <!DOCTYPE line.
    bool afterPreamble() const;
    // Line breaks as the file's own.
    bool matchLineBreaks() const;
    // The old code that 替换 takes out, line breaks as LF; its box takes input only while 替换 is
    // the action.
    QString oldCode() const;
    void setReplacing(bool replacing);
    // Closes the window for good instead of hiding it (the exit sequence).
    void closeForGood();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void command1Click();

    CodeTextBox* Text1 = nullptr;
    CodeTextBox* Text2 = nullptr;
    QCheckBox* Check1 = nullptr;
    QCheckBox* Check2 = nullptr;
    QCheckBox* Check3 = nullptr;

    bool m_closingForGood = false;
};
