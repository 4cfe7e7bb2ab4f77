// Times a very long code in the code window, as a user meets it:
//   paste_bench [MEGABYTES]
// puts one line of MEGABYTES (default 10) million characters on the clipboard, pastes it into
// Text1 with Ctrl+V, then types 20 characters at its end, each followed by a repaint. Prints the
// seconds of the paste and the median seconds of a keystroke.
#include "ui/dialogs/Texts.h"
#include "ui/widgets/FontSubstitutions.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

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

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installFontSubstitutions();
    const long megabytes = argc > 1 ? std::atol(argv[1]) : 10;

    Texts texts;
    texts.show();
    QApplication::processEvents();
    QWidget* box = texts.findChild<QWidget*>(QStringLiteral("Text1"));
    box->setFocus();
    QString line;
    const QString piece = QStringLiteral("<a href=\"x\">Morlend 代码</a> ");
    while (line.size() < megabytes * 1000000)
        line += piece;
    QApplication::clipboard()->setText(line);

    press(box, Qt::Key_A, Qt::ControlModifier);
    const double paste = timedPress(box, Qt::Key_V, Qt::ControlModifier);
    press(box, Qt::Key_End, Qt::ControlModifier);
    std::vector<double> keys;
    for (int i = 0; i < 20; ++i)
        keys.push_back(timedPress(box, Qt::Key_X, Qt::NoModifier, QStringLiteral("x")));
    std::sort(keys.begin(), keys.end());
    if (texts.code() != line + QString(20, u'x')) {
        std::fprintf(stderr, "paste_bench: the box does not hold the pasted line and the keys\n");
        return 1;
    }
    std::printf("paste %.3f s, keystroke median %.4f s\n", paste, keys[keys.size() / 2]);
    return 0;
}
