#include "ui/dialogs/LauncherNotice.h"

#include "ui/dialogs/MessageBox.h"

#include <QString>

LauncherNotice::LauncherNotice()
    : TOURL::NoticeOverride(
          [](const QString& text) { MessageBox::show(nullptr, QString(), text, MessageBox::Icon::None); }) {}
