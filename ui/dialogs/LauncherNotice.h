#pragma once

#include "platform/qt/TOURL.h"

// Routes the launcher's "cannot open the address" notice to a message box with an OK button,
// no icon and the application's own title, for as long as it lives.
class LauncherNotice : public TOURL::NoticeOverride {
public:
    LauncherNotice();
};
