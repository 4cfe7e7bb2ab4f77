#pragma once

#include "win32/FormWindow.h"

#include <string>

namespace win32ui {

// The code window: whatever Text1 holds is the code a batch run inserts. It is only ever hidden
// while the program runs, by its confirm button and by its title bar's close alike, so the typed
// code survives; the exit sequence alone destroys it.
class Texts : public FormWindow {
public:
    Texts();
    // Creates the window, hidden, if it does not exist.
    void ensure();
    // The code exactly as the box holds it; a window that does not exist is created, hidden.
    std::wstring code();
    bool once() const { return isChecked("Check1"); }
    bool afterPreamble() const { return isChecked("Check2"); }
    bool matchLineBreaks() const { return isChecked("Check3"); }
    void closeForGood();

protected:
    void onCreated() override;
    void onCommand(int id, int code) override;
    void onClose() override;
};

} // namespace win32ui
