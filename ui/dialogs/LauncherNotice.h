#pragma once

#include "platform/qt/TOURL.h"

// Tells the user that an address could not be opened: a message box with an OK button, no icon
// and the application's own title, for as long as it lives.
class LauncherNotice : public TOURL::NoticeOverride {
public:
    LauncherNotice();
};
