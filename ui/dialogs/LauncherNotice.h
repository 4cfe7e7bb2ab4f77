#pragma once

// Routes the launcher's "cannot open the address" notice to a message box with an
// OK button, no icon and the application's own title. Called once at start-up.
void installLauncherNotice();
