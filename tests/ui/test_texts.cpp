// The code window: its layout, the keys and line breaks of the code box, a code too large to edit there.
#include "ChoiceCases.h"
#include "WindowTestSupport.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/dialogs/Texts.h"
#include "ui/widgets/FontSubstitutions.h"

#include <QClipboard>
#include <QInputMethodEvent>
#include <functional>

using namespace windowtest;

namespace {

const QString kPlaceholder = QString::fromUtf8(windowcases::kPlaceholder);

void keys(QWidget* box, std::initializer_list<QKeyCombination> combinations) {
    for (const QKeyCombination k : combinations)
        QTest::keyClick(box, k.key(), k.keyboardModifiers());
}

void paste(QWidget* box, const QString& text) {
    QApplication::clipboard()->setText(text);
    keys(box, {Qt::CTRL | Qt::Key_V});
}

} // namespace

class TestTexts : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installFontSubstitutions(); }

    void layoutAsDesignedInTheWindowsFontAndUnmovedByResize() {
        Texts texts;
        texts.show();
        QVERIFY(QTest::qWaitForWindowExposed(&texts));
        QCOMPARE(rowFaults(&texts, layout::kTexts).join(u'|'), QString());
        QVERIFY(texts.windowType() == Qt::Tool && texts.maximumWidth() > texts.width() &&
                texts.maximumHeight() > texts.height());
        QCOMPARE(designFaults(&texts, true), QStringList());

        QVERIFY(staysPut(&texts, {QSize(300, 200), QSize(800, 600)}));

        auto* box = child<CodeTextBox>(&texts, "Text1");
        auto* confirm = child<QPushButton>(&texts, "Command1");
        QCOMPARE(QAccessible::queryAccessibleInterface(box)->text(QAccessible::Value), kPlaceholder);
        // Tab leaves the code box for the confirm button and Shift+Tab comes back; Ctrl+Tab types a tab.
        texts.activateWindow();
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), confirm);
        QTest::keyClick(confirm, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), box);
        keys(box, {Qt::CTRL | Qt::Key_Home, Qt::CTRL | Qt::Key_Tab});
        QCOMPARE(texts.code(), u'\t' + kPlaceholder);
        QCOMPARE(clicksByEnter(confirm), 2);
        QVERIFY(!texts.isVisible());

        // A long line scrolls sideways; no break is put into it.
        const QString longLine(400, u'x');
        QSignalSpy changed(box, &QPlainTextEdit::textChanged);
        box->setProperty("plainText", longLine); // the property generic editors expose
        QCOMPARE(texts.code(), longLine);
        QCOMPARE(changed.count(), 1);
        QVERIFY(box->horizontalScrollBar()->maximum() > 0);
    }

    // From a code, what the user does in the box, and the code it then holds.
    void codeIsTheTextAsTypedPastedAndUndone() {
        const QString nbsp(QChar::Nbsp);
        using Steps = std::function<void(CodeTextBox*)>;
        const std::tuple<const char*, QString, Steps, QString> cases[] = {
            {"enter breaks lines, shift+enter too; a no-break space stays one", "",
             [&](CodeTextBox* b) {
                 type(b, QStringLiteral("a b"));
                 keys(b, {Qt::Key_Return});
                 type(b, QStringLiteral("c代") + nbsp);
                 keys(b, {Qt::SHIFT | Qt::Key_Return});
                 type(b, QStringLiteral("😀"));
             },
             QStringLiteral("a b\nc代") + nbsp + QStringLiteral("\n😀")},
            {"a paste's CR LF and lone CR become LF", "x",
             [](CodeTextBox* b) { paste(b, QStringLiteral("l1\r\n\tl2 代码\rl3\r\n")); },
             QStringLiteral("l1\n\tl2 代码\nl3\nx")},
            {"undo of a backspace gives the character back, and the next key goes after it", "",
             [](CodeTextBox* b) {
                 type(b, QStringLiteral("abc"));
                 keys(b, {Qt::Key_Backspace, Qt::CTRL | Qt::Key_Z});
                 type(b, QStringLiteral("d"));
             },
             QStringLiteral("abcd")},
            {"nothing to redo after a new edit", "x",
             [](CodeTextBox* b) {
                 keys(b, {Qt::CTRL | Qt::Key_End});
                 type(b, QStringLiteral("y"));
                 keys(b, {Qt::CTRL | Qt::Key_Z});
                 type(b, QStringLiteral("z"));
                 keys(b, {Qt::CTRL | Qt::Key_Y, Qt::CTRL | Qt::SHIFT | Qt::Key_Z});
             },
             QStringLiteral("xz")},
            {"up twice keeps the column over a short line", "abcdef\nab\nabcdef",
             [](CodeTextBox* b) {
                 keys(b, {Qt::CTRL | Qt::Key_End, Qt::Key_Up, Qt::Key_Up});
                 type(b, QStringLiteral("X"));
             },
             QStringLiteral("abcdefX\nab\nabcdef")},
            {"an input method's composition is text once committed", "z",
             [](CodeTextBox* b) {
                 keys(b, {Qt::CTRL | Qt::Key_End});
                 QInputMethodEvent compose(QStringLiteral("zhong"), {});
                 QApplication::sendEvent(b, &compose);
                 QVERIFY(!b->code().contains(QStringLiteral("zhong")));
                 QInputMethodEvent commit;
                 commit.setCommitString(QStringLiteral("中文"));
                 QApplication::sendEvent(b, &commit);
             },
             QStringLiteral("z中文")},
        };
        QStringList wrong;
        for (const auto& [what, start, steps, expected] : cases) {
            Texts texts;
            texts.show();
            CodeTextBox* box = child<CodeTextBox>(&texts, "Text1");
            box->setCode(start);
            box->setFocus();
            steps(box);
            // What is copied is the code, as exactly.
            const QString code = texts.code();
            keys(box, {Qt::CTRL | Qt::Key_A, Qt::CTRL | Qt::Key_C});
            if (code != expected || QApplication::clipboard()->text() != expected)
                wrong << QLatin1String(what);
        }
        QCOMPARE(wrong, QStringList());
    }

    // Beyond the box's limits the code is held aside whole: shown in part, cleared, replaced.
    void codeTooLargeToEditIsHeldWholeClearedOrReplaced() {
        const QString longLine = QString(CodeTextBox::kLongestLine / 2, u'x') + QStringLiteral("代码") +
                                 QString(CodeTextBox::kLongestLine / 2, u'y');
        QString manyAsLf;
        while (manyAsLf.size() <= CodeTextBox::kMostCharacters)
            manyAsLf += QStringLiteral("<p>第一行</p>\n");
        const QString manyLines = QString(manyAsLf).replace(u'\n', QStringLiteral("\r\n"));
        const auto notice = [](qsizetype n) { return QString::fromStdString(windowcases::heldAside(n)); };
        Texts texts;
        texts.show();
        CodeTextBox* box = child<CodeTextBox>(&texts, "Text1");
        box->setFocus();
        auto* shown = child<QLabel>(box, "Notice");

        // One line too long, pasted over the selection, and many lines pasted in the middle of a line.
        keys(box, {Qt::CTRL | Qt::Key_A});
        paste(box, longLine);
        QVERIFY(box->isHeldAside() && box->isReadOnly() && shown->isVisible());
        QCOMPARE(texts.code(), longLine);
        QCOMPARE(shown->text(), notice(longLine.size()));
        QVERIFY(box->toPlainText().size() < 10'000 && longLine.startsWith(box->toPlainText()));
        type(box, QStringLiteral("q")); // nothing to type into
        paste(box, QString());          // nor an empty clipboard to paste over it
        keys(box, {Qt::CTRL | Qt::Key_A, Qt::CTRL | Qt::Key_C});
        QCOMPARE(QApplication::clipboard()->text(), longLine);
        keys(box, {Qt::Key_Delete});
        QVERIFY(!box->isHeldAside() && !box->isReadOnly() && !shown->isVisible());
        QCOMPARE(texts.code(), QString());
        type(box, QStringLiteral("ab"));
        keys(box, {Qt::Key_Left});
        paste(box, manyLines);
        QCOMPARE(texts.code(), u'a' + manyAsLf + u'b');
        QCOMPARE(shown->text(), notice(manyAsLf.size() + 2));

        // A paste replaces it, and a small code is edited in the box again.
        paste(box, QStringLiteral("short\r\n"));
        QVERIFY(!box->isHeldAside());
        QCOMPARE(texts.code(), QStringLiteral("short\n"));

        // Typed past the longest line; set through the property.
        box->setCode(longLine.left(CodeTextBox::kLongestLine));
        keys(box, {Qt::CTRL | Qt::Key_End});
        type(box, QStringLiteral("!"));
        QTRY_VERIFY(box->isHeldAside());
        QCOMPARE(texts.code(), longLine.left(CodeTextBox::kLongestLine) + u'!');
        box->setProperty("plainText", manyLines);
        QCOMPARE(box->property("plainText").toString(), manyAsLf);
        keys(box, {Qt::Key_Backspace});
        QCOMPARE(texts.code(), QString());
    }

private:
    MessageBox::Recording m_boxes;
};

QTEST_MAIN(TestTexts)
#include "test_texts.moc"
