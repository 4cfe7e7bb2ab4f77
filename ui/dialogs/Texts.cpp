#include "ui/dialogs/Texts.h"

#include "ui/widgets/CodeTextBox.h"
#include "ui/widgets/DesignUnits.h"
#include "ui/widgets/WindowSetup.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QPushButton>

Texts::Texts(QWidget* parent) : QWidget(parent) {
    setUpToolWindow(this, "Texts", QStringLiteral("添加代码"));
    // Taller than designed by the three options below the confirm button, with the margin of
    // the sides below the last of them.
    resize(twipsSize(6855, 6375));

    Text1 = new CodeTextBox(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setAccessibleName(QStringLiteral("代码"));
    Text1->setGeometry(twips(240, 120, 6375, 4575));
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setCode(QStringLiteral("在这里输入欲添加的字符。"));

    Command1 = new QPushButton(QStringLiteral("确认并返回"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(twips(5160, 4800, 1455, 375));
    connect(Command1, &QPushButton::clicked, this, &Texts::command1Click);

    QCheckBox** options[] = {&Check1, &Check2, &Check3};
    const char* captions[] = {"不重复添加", "保留首行声明（#!、<?xml、<!DOCTYPE）", "换行与文件一致"};
    for (int i = 0; i < 3; ++i) {
        auto* box = new QCheckBox(QString::fromUtf8(captions[i]), this);
        box->setObjectName(QStringLiteral("Check%1").arg(i + 1));
        box->setGeometry(twips(240, 5280 + 300 * i, 6375, 255));
        *options[i] = box;
    }

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
