#pragma once

#include "ui/widgets/CodeTextBox.h"

#include <QString>
#include <QWidget>

class QCheckBox;
class QPushButton;

// The code window: whatever Text1 holds is the code a batch run inserts. There is no
// other copy of it, so the window is only ever hidden while the program runs; the
// exit sequence alone closes it for good.
class Texts : public QWidget {
    Q_OBJECT
public:
    explicit Texts(QWidget* parent = nullptr);

    // The code exactly as the box holds it, line breaks as LF.
    QString code() const;
    // Closes the window for good instead of hiding it (the exit sequence).
    void closeForGood();

    CodeTextBox* Text1;
    QPushButton* Command1;
    QCheckBox* Check1 = nullptr; // not twice: a file that holds the code at its place is left alone
    QCheckBox* Check2 = nullptr; // head: behind a leading #!, <?xml or <!DOCTYPE line
    QCheckBox* Check3 = nullptr; // line breaks as the file's own

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void command1Click();

    bool m_closingForGood = false;
};
