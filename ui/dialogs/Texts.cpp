#include "ui/dialogs/Texts.h"

#include "forms/Wording.h"
#include "ui/widgets/CodeTextBox.h"
#include "ui/widgets/DesignUnits.h"
#include "ui/widgets/WindowSetup.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QPushButton>

namespace {
const layout::Control& design(const char* name) { return layout::kTexts[name]; }
template <typename W> W* placed(W* widget, const char* name) {
    widget->setObjectName(toQString(design(name).name));
    widget->setGeometry(twips(design(name).place));
    return widget;
}
} // namespace

Texts::Texts(QWidget* parent) : QWidget(parent) {
    setUpToolWindow(this, "Texts", toQString(layout::kTexts.caption));
    resize(clientSize(layout::kTexts));

    Text1 = placed(new CodeTextBox(this), "Text1");
    Text1->setAccessibleName(toQString(layout::kCodeName));
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setCode(toQString(design("Text1").caption));

    Command1 = placed(new QPushButton(toQString(design("Command1").caption), this), "Command1");
    connect(Command1, &QPushButton::clicked, this, &Texts::command1Click);

    // Not twice; behind a first-line declaration; line breaks as the file's own.
    QCheckBox** options[] = {&Check1, &Check2, &Check3};
    const char* names[] = {"Check1", "Check2", "Check3"};
    for (int i = 0; i < 3; ++i)
        *options[i] = placed(new QCheckBox(toQString(design(names[i]).caption), this), names[i]);

    setTabOrder(Text1, Command1);
    setTabOrder(Command1, Check1);
    setTabOrder(Check1, Check2);
    setTabOrder(Check2, Check3);
    clickFocusedButtonsOnEnter(this);
}

QString Texts::code() const { return Text1->code(); }

void Texts::closeForGood() {
    m_closingForGood = true;
    close();
}

void Texts::command1Click() { hide(); }

void Texts::closeEvent(QCloseEvent* event) {
    command1Click();
    // A close from the title bar only hides: losing the typed code to it helps nobody.
    if (m_closingForGood)
        event->accept();
    else
        event->ignore();
}
