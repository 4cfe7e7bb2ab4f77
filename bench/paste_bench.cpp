// Times the code window as a user meets it:
//   paste_bench [MEGABYTES]
// puts one line of MEGABYTES (default 10) million characters on the clipboard and pastes it into
// Text1 with Ctrl+V (a code that large is held aside), then sets a normal code of 10,000 lines and
// types 20 characters into its middle, each followed by a repaint. Prints the seconds of the paste
// and the median seconds of a keystroke.
//   paste_bench --limits
// times a keystroke in Qt's plain-text editor, as the code box is set up, for one line and for
// many lines of growing length: where it passes 50 ms is where the code box must stop editing.
#include "ui/dialogs/Texts.h"
#include "ui/widgets/FontSubstitutions.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const QString kPiece = QStringLiteral("<a href=\"x\">Morlend 代码</a> ");

void press(QWidget* target, int key, Qt::KeyboardModifiers modifiers, const QString& text = {}) {
    QKeyEvent down(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(target, &up);
}

// Seconds until the window has handled the key and shown the result.
double timedPress(QWidget* box, int key, Qt::KeyboardModifiers modifiers, const QString& text = {}) {
    QElapsedTimer timer;
    timer.start();
    press(box, key, modifiers, text);
    QApplication::processEvents();
    box->window()->repaint();
    return timer.nsecsElapsed() / 1e9;
}

double medianKeystroke(QWidget* box, int count) {
    std::vector<double> keys;
    for (int i = 0; i < count; ++i)
        keys.push_back(timedPress(box, Qt::Key_X, Qt::NoModifier, QStringLiteral("x")));
    std::sort(keys.begin(), keys.end());
    return keys[keys.size() / 2];
}

// The code window's box, as a user reaches it: by its design name.
CodeTextBox* codeBox(const Texts& texts) { return texts.findChild<CodeTextBox*>(QStringLiteral("Text1")); }

QString repeated(qsizetype characters, bool lineBreaks) {
    QString text;
    const QString piece = lineBreaks ? kPiece + u'\n' : kPiece;
    while (text.size() < characters)
        text += piece;
    return text;
}

// A keystroke in the middle of the text, for one line and for many, at growing sizes.
int measureLimits() {
    Texts texts; // the window the box sits in, for its size and font
    texts.show();
    QPlainTextEdit stock(&texts);
    stock.setGeometry(codeBox(texts)->geometry());
    stock.setLineWrapMode(QPlainTextEdit::NoWrap);
    stock.show();
    stock.setFocus();
    std::printf("%-12s %12s %14s %10s\n", "shape", "characters", "keystroke ms", "paste ms");
    for (const bool lines : {false, true}) {
        const std::vector<qsizetype> sizes =
            lines ? std::vector<qsizetype>{250'000, 500'000, 1'000'000, 2'000'000, 4'000'000}
                  : std::vector<qsizetype>{2'500, 5'000, 7'500, 10'000, 15'000, 20'000, 40'000};
        for (const qsizetype size : sizes) {
            stock.clear();
            QApplication::clipboard()->setText(repeated(size, lines));
            const double paste = timedPress(&stock, Qt::Key_V, Qt::ControlModifier);
            QTextCursor middle(stock.document());
            middle.setPosition(stock.document()->characterCount() / 2);
            stock.setTextCursor(middle);
            QApplication::processEvents();
            std::printf("%-12s %12lld %14.1f %10.0f\n", lines ? "many lines" : "one line",
                        static_cast<long long>(size), medianKeystroke(&stock, 7) * 1000, paste * 1000);
            std::fflush(stdout);
        }
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installFontSubstitutions();
    if (argc > 1 && std::strcmp(argv[1], "--limits") == 0)
        return measureLimits();
    const long megabytes = argc > 1 ? std::atol(argv[1]) : 10;

    Texts texts;
    texts.show();
    QApplication::processEvents();
    CodeTextBox* box = codeBox(texts);
    box->setFocus();
    const QString line = repeated(megabytes * 1'000'000, false);
    QApplication::clipboard()->setText(line);
    press(box, Qt::Key_A, Qt::ControlModifier);
    const double paste = timedPress(box, Qt::Key_V, Qt::ControlModifier);
    if (texts.code() != line) {
        std::fprintf(stderr, "paste_bench: the box does not hold the pasted line\n");
        return 1;
    }

    QString normal;
    for (int i = 0; i < 10'000; ++i)
        normal += QStringLiteral("%1 ").arg(i) + kPiece + u'\n';
    box->setCode(normal);
    QTextCursor middle(box->document());
    middle.setPosition(normal.size() / 2);
    box->setTextCursor(middle);
    QApplication::processEvents();
    const double key = medianKeystroke(box, 20);
    if (texts.code().size() != normal.size() + 20) {
        std::fprintf(stderr, "paste_bench: the box does not hold the typed keys\n");
        return 1;
    }
    std::printf("paste %.3f s, keystroke median %.4f s\n", paste, key);
    return 0;
}
