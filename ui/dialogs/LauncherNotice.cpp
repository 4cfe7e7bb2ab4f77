#include "ui/dialogs/LauncherNotice.h"

#include "platform/qt/TOURL.h"
#include "ui/dialogs/MessageBox.h"

#include <QString>

void installLauncherNotice() {
    TOURL::setFailureNotice(
        [](const QString& text) { MessageBox::show(nullptr, QString(), text, MessageBox::Icon::None); });
}
