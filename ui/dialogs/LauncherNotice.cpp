#include "ui/dialogs/LauncherNotice.h"

#include "forms/Wording.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/widgets/DesignUnits.h"

#include <QString>

LauncherNotice::LauncherNotice()
    : TOURL::NoticeOverride([](const QString& /*address*/) {
          MessageBox::show(nullptr, QString(), toQString(layout::kLauncherFailed), MessageBox::Icon::None);
      }) {}
