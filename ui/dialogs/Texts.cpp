#include "ui/dialogs/Texts.h"

#include "forms/Wording.h"
#include "ui/widgets/CodeTextBox.h"
#include "ui/widgets/DesignUnits.h"
#include "ui/widgets/FormControls.h"
#include "ui/widgets/WindowSetup.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QPushButton>

Texts::Texts(QWidget* parent) : QWidget(parent) {
    setUpToolWindow(this, "Texts", toQString(layout::kTexts.caption));
    resize(clientSize(layout::kTexts));

    const FormControls controls(this, layout::kTexts);
    Text1 = controls.get<CodeTextBox>("Text1");
    Text1->setAccessibleName(toQString(layout::kCodeName));
    Text2 = controls.get<CodeTextBox>("Text2");
    Text2->setAccessibleName(toQString(layout::kOldCodeName));
    Text2->setEnabled(false);
    Check1 = controls.get<QCheckBox>("Check1");
    Check2 = controls.get<QCheckBox>("Check2");
    Check3 = controls.get<QCheckBox>("Check3");
    connect(controls.get<QPushButton>("Command1"), &QPushButton::clicked, this, &Texts::command1Click);
    clickFocusedButtonsOnEnter(this);
}

QString Texts::code() const { return Text1->code(); }

bool Texts::once() const { return Check1->isChecked(); }

bool Texts::afterPreamble() const { return Check2->isChecked(); }

bool Texts::matchLineBreaks() const { return Check3->isChecked(); }

QString Texts::oldCode() const { return Text2->code(); }

void Texts::setReplacing(bool replacing) { Text2->setEnabled(replacing); }

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
