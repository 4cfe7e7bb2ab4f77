#include "ui/dialogs/Texts.h"

#include "ui/widgets/CodeBox.h"
#include "ui/widgets/DesignUnits.h"
#include "ui/widgets/WindowSetup.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QPushButton>

Texts::Texts(QWidget* parent) : QWidget(parent) {
    setUpToolWindow(this, "Texts", QStringLiteral("添加代码"));
    // Taller than designed by the three options below the confirm button.
    resize(twipsSize(6855, 6240));

    // A box built for very long lines: a pasted code of megabytes on one line stays editable.
    Text1 = new CodeBox(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(twips(240, 120, 6375, 4575));
    Text1->setFont(songFont(9)); // the Chinese system's window font: Latin half as wide as Chinese
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setPlainText(QStringLiteral("在这里输入欲添加的字符。"));

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
        box->setFont(songFont(9));
        *options[i] = box;
    }

    setTabOrder(Text1, Command1);
    setTabOrder(Command1, Check1);
    setTabOrder(Check1, Check2);
    setTabOrder(Check2, Check3);
    clickFocusedButtonsOnEnter(this);
}

QString Texts::code() const { return Text1->toPlainText(); }

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
