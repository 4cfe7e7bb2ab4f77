// The code window: its layout, that the typed code survives confirming and closing, and that the
// code box gives exactly the text a user types, pastes or composes, however long its lines.
#include "WindowTestSupport.h"
#include "core/Mod.h"
#include "platform/FileSystem.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/dialogs/Texts.h"
#include "ui/main/MainForm.h"
#include "ui/widgets/FontSubstitutions.h"

#include <QAccessible>
#include <QClipboard>
#include <QInputMethodEvent>
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

        auto* box = child<CodeBox>(&texts, "Text1");
        auto* confirm = child<QPushButton>(&texts, "Command1");
        QCOMPARE(box->toPlainText(), QStringLiteral("在这里输入欲添加的字符。"));
        QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(box);
        QCOMPARE(reader->text(QAccessible::Value), box->toPlainText());
        // A screen reader also reads and edits by position; its edit is one step to undo.
        reader->editableTextInterface()->replaceText(0, 2, QStringLiteral("写\r\n"));
        QAccessibleTextInterface* byPosition = reader->textInterface();
        QCOMPARE(byPosition->text(0, 3) + QString::number(byPosition->characterCount()),
                 QStringLiteral("写\n里12"));
        QCOMPARE(byPosition->offsetAtPoint(byPosition->characterRect(3).center()), 3);
        box->undo();
        QCOMPARE(confirm->text(), QStringLiteral("确认并返回"));
        QCOMPARE(tabOrder(&texts, box), (QStringList{"Text1", "Command1", "Check1", "Check2", "Check3"}));
        // Tab leaves the code box for the confirm button and Shift+Tab comes back; Ctrl+Tab types a tab.
        texts.activateWindow();
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), confirm);
        QTest::keyClick(confirm, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), box);
        QTest::keyClick(box, Qt::Key_Home, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(texts.code(), QStringLiteral("\t在这里输入欲添加的字符。"));
        QCOMPARE(clicksByEnter(confirm), 2);
        QVERIFY(!texts.isVisible());

        // A long line scrolls sideways; no break is put into it.
        const QString longLine(400, u'x');
        QSignalSpy changed(box, SIGNAL(textChanged()));
        box->setProperty("plainText", longLine); // the property generic editors expose
        QCOMPARE(texts.code(), longLine);
        QCOMPARE(changed.count(), 1);
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
        CodeBox* box = texts.Text1;
        box->setFocus();
        const auto type = [box](const QString& text) {
            for (const char32_t c : text.toUcs4())
                QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString::fromUcs4(&c, 1),
                                    Qt::NoModifier);
        };
        const auto keys = [box](std::initializer_list<QKeyCombination> combinations) {
            for (const QKeyCombination k : combinations)
                QTest::keyClick(box, k.key(), k.keyboardModifiers());
        };
        keys({Qt::CTRL | Qt::Key_A});
        QTest::keyClicks(box, QStringLiteral("a b"));
        keys({Qt::Key_Return});
        // Shift+Enter breaks the line all the same; a no-break space stays what it is.
        type(QStringLiteral("c代") + QChar::Nbsp);
        keys({Qt::SHIFT | Qt::Key_Return});
        type(QStringLiteral("abcdef"));
        QCOMPARE(texts.code(), QStringLiteral("a b\nc代") + QChar::Nbsp + QStringLiteral("\nabcdef"));

        // Up keeps the column by what is seen: a wide character takes two.
        keys({Qt::Key_Left, Qt::Key_Left, Qt::Key_Left, Qt::Key_Up});
        type(QStringLiteral("X"));
        QCOMPARE(texts.code(), QStringLiteral("a b\nc代X") + QChar::Nbsp + QStringLiteral("\nabcdef"));
        // A selection, by keys or by the mouse, is replaced by what is typed.
        keys({Qt::SHIFT | Qt::Key_Left, Qt::SHIFT | Qt::Key_Left, Qt::SHIFT | Qt::Key_Left});
        type(QStringLiteral("😀"));
        keys({Qt::Key_Left, Qt::SHIFT | Qt::Key_Up, Qt::Key_Backspace});
        QCOMPARE(texts.code(), QStringLiteral("😀") + QChar::Nbsp + QStringLiteral("\nabcdef"));
        QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, QPoint(1, 1));
        QTest::mouseClick(box->viewport(), Qt::LeftButton, Qt::ShiftModifier, QPoint(300, 1));
        type(QStringLiteral("z"));
        QCOMPARE(texts.code(), QStringLiteral("z\nabcdef"));

        // An input method's composition is not text until committed.
        QInputMethodEvent compose(QStringLiteral("zhong"), {});
        QApplication::sendEvent(box, &compose);
        QCOMPARE(texts.code(), QStringLiteral("z\nabcdef"));
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("中文"));
        QApplication::sendEvent(box, &commit);
        QCOMPARE(texts.code(), QStringLiteral("z中文\nabcdef"));
        const QWidget* asked = box; // what an input method asks for to place its window
        QCOMPARE(asked->inputMethodQuery(Qt::ImSurroundingText).toString(), QStringLiteral("z中文"));
        QCOMPARE(asked->inputMethodQuery(Qt::ImCursorPosition).toInt(), 3);
        QVERIFY(asked->inputMethodQuery(Qt::ImCursorRectangle).toRect().left() > 20);

        // Pasted text comes in with LF line breaks, and goes out again exactly; undo takes the paste back.
        QClipboard* clipboard = QApplication::clipboard();
        clipboard->setText(QStringLiteral("l1\r\n\tl2 代码\rl3\r\n"));
        keys({Qt::CTRL | Qt::Key_V});
        const QString pasted = QStringLiteral("z中文l1\n\tl2 代码\nl3\n\nabcdef");
        QCOMPARE(texts.code(), pasted);
        keys({Qt::CTRL | Qt::Key_A, Qt::CTRL | Qt::Key_X});
        QCOMPARE(clipboard->text(), pasted);
        QCOMPARE(texts.code(), QString()); // an empty box is empty code
        keys({Qt::CTRL | Qt::Key_Z, Qt::CTRL | Qt::Key_Z});
        QCOMPARE(texts.code(), QStringLiteral("z中文\nabcdef"));
        // Columns count what the line holds now, after a wide character went.
        keys({Qt::CTRL | Qt::Key_Home, Qt::Key_End, Qt::Key_Home, Qt::Key_Right, Qt::Key_Delete, Qt::Key_End,
              Qt::Key_Down});
        type(QStringLiteral("Q"));
        QCOMPARE(texts.code(), QStringLiteral("z文\nabcQdef"));
    }

    void tenMegabyteLineStaysEditable() {
        Texts texts;
        texts.show();
        CodeBox* box = texts.Text1;
        box->setFocus();
        const QString line = QString(5'000'000, u'x') + QStringLiteral("代码") + QString(5'000'000, u'y');
        QApplication::clipboard()->setText(line);
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(box, QStringLiteral("!"));
        QCOMPARE(texts.code(), line + u'!');
        QVERIFY(box->horizontalScrollBar()->value() > 10'000'000 - 500); // the view follows the cursor
        QTest::keyClick(box, Qt::Key_Home);
        QTest::keyClick(box, Qt::Key_Delete);
        QCOMPARE(texts.code(), line.mid(1) + u'!');
    }

private:
    MessageBox::Recording m_boxes;
};

QTEST_MAIN(TestTexts)
#include "test_texts.moc"
