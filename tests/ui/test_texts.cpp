// The code window: its layout, and that the typed code survives confirming and closing.
#include "WindowTestSupport.h"
#include "core/Mod.h"
#include "platform/FileSystem.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/dialogs/Texts.h"
#include "ui/main/MainForm.h"
#include "ui/widgets/FontSubstitutions.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

using namespace windowtest;

class TestTexts : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installFontSubstitutions(); }

    void layoutAsDesignedAndUnmovedByResize() {
        Texts texts;
        texts.show();
        QVERIFY(QTest::qWaitForWindowExposed(&texts));
        QCOMPARE(texts.objectName(), QStringLiteral("Texts"));
        QCOMPARE(texts.windowTitle(), QStringLiteral("添加代码"));
        QCOMPARE(texts.size(), QSize(457, 416)); // the design, taller by three option rows
        QCOMPARE(texts.windowType(), Qt::Tool);
        QCOMPARE(texts.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
                                        Qt::WindowMaximizeButtonHint),
                 Qt::WindowCloseButtonHint);
        QVERIFY(texts.maximumWidth() > 457 && texts.maximumHeight() > 416); // resizable

        const QString designed = geometries(&texts);
        for (const QSize size : {QSize(300, 200), QSize(800, 600)}) { // controls stay where they are
            texts.resize(size);
            QCOMPARE(geometries(&texts), designed);
        }

        auto* box = child<QPlainTextEdit>(&texts, "Text1");
        auto* confirm = child<QPushButton>(&texts, "Command1");
        QCOMPARE(box->toPlainText(), QStringLiteral("在这里输入欲添加的字符。"));
        QVERIFY(!box->isReadOnly());
        QCOMPARE(confirm->text(), QStringLiteral("确认并返回"));
        QCOMPARE(tabOrder(&texts, box), (QStringList{"Text1", "Command1", "Check1", "Check2", "Check3"}));
        // Tab leaves the code box for the confirm button and Shift+Tab comes back; Ctrl+Tab types a tab.
        texts.activateWindow();
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), confirm);
        QTest::keyClick(confirm, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), box);
        box->moveCursor(QTextCursor::Start);
        QTest::keyClick(box, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(texts.code(), QStringLiteral("\t在这里输入欲添加的字符。"));
        QCOMPARE(clicksByEnter(confirm), 2);
        QVERIFY(!texts.isVisible());

        // A long line scrolls sideways; no break is put into it.
        const QString longLine(400, u'x');
        box->setPlainText(longLine);
        QCOMPARE(texts.code(), longLine);
        QVERIFY(box->horizontalScrollBar()->maximum() > 0);
    }

    void typedCodeSurvivesConfirmAndClose() {
        Mod mod;
        MainForm form(mod, platform::systemFileSystem());
        form.setEndProcess([] {});
        form.show();
        auto* cmdAdd = form.findChild<QPushButton*>(QStringLiteral("CmdAdd"));

        QTest::mouseClick(cmdAdd, Qt::LeftButton);
        Texts* texts = form.texts();
        QVERIFY(texts->isVisible());
        texts->Text1->selectAll();
        QTest::keyClicks(texts->Text1, QStringLiteral("<?php echo 1; ?>"));

        // Confirm and the title bar's close only hide: shown again, the same window holds the code.
        for (bool byClose : {false, true}) {
            if (byClose)
                QVERIFY(!texts->close());
            else
                QTest::mouseClick(texts->Command1, Qt::LeftButton);
            QVERIFY(!texts->isVisible());
            QTest::mouseClick(cmdAdd, Qt::LeftButton);
            QVERIFY(form.texts() == texts && texts->isVisible());
            QCOMPARE(texts->code(), QStringLiteral("<?php echo 1; ?>"));
        }
        QCOMPARE(windowCount(QStringLiteral("Texts")), 1);
    }

    void codeIsTheTextAsTyped() {
        Texts texts;
        texts.show();
        QPlainTextEdit* box = texts.Text1;
        box->selectAll();
        QTest::keyClicks(box, QStringLiteral("a b"));
        QTest::keyClick(box, Qt::Key_Return);
        // Shift+Enter puts a line separator into the editor; it is a line break all the same.
        QTest::keyClicks(box, QStringLiteral("c"));
        QTest::keyClick(box, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(box, QStringLiteral("d"));
        // A no-break space is kept as it is, not turned into a plain space.
        box->insertPlainText(QString(QChar::Nbsp));
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(texts.code(), QStringLiteral("a b\nc\nd") + QChar::Nbsp + u'\n');

        // An empty box is empty code.
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QCOMPARE(texts.code(), QString());
    }

private:
    MessageBox::Recording m_boxes;
};

QTEST_MAIN(TestTexts)
#include "test_texts.moc"
