#include "ui/dialogs/MessageBox.h"

#include <QMessageBox>

namespace MessageBox {
namespace {
bool g_recording = false;
QList<Shown> g_shown;
} // namespace

void show(QWidget* parent, const QString& title, const QString& text, Icon icon) {
    if (g_recording) {
        g_shown.append({title, text, icon});
        return;
    }
    QMessageBox box(parent);
    if (!title.isEmpty())
        box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

Recording::Recording() : m_recording(g_recording, true) { g_shown.clear(); }

Recording::~Recording() { g_shown.clear(); }

QList<Shown> takeShown() {
    QList<Shown> out;
    out.swap(g_shown);
    return out;
}

} // namespace MessageBox
