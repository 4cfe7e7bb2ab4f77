#pragma once

#include "win32/ControlIds.h"
#include "win32/FormWindow.h"

#include <string>

namespace win32ui {

// The code window: whatever Text1 holds is the code a batch run inserts. It is only ever hidden
// while the program runs, by its confirm button and by its title bar's close alike, so the typed
// code survives; the exit sequence alone destroys it.
//
// The EDIT slows down with long lines and long texts. A code that would pass either limit is held
// aside whole: the box shows its beginning read-only under a notice of its length; Delete clears
// it, a paste replaces it.
class Texts : public FormWindow {
public:
    // Measured with bench/codebox_bench_win32 under wine on two cores: a keystroke in one line
    // takes 17 ms at 5,000 characters, 95 ms at 20,000 and 3.8 s at a million; in 10,000 lines
    // (420,000 characters) it stays under 60 ms. A 10-million-character line takes 17 s to paste.
    static constexpr std::size_t kMostCharacters = 500'000;
    static constexpr std::size_t kLongestLine = 5'000;

    Texts();
    ~Texts() override;
    Texts(const Texts&) = delete;
    Texts& operator=(const Texts&) = delete;
    // Creates the window, hidden, if it does not exist.
    void ensure();
    // The code exactly as the box holds it; a window that does not exist is created, hidden.
    std::wstring code();
    bool once() const { return isChecked(kTextsCheck1); }
    bool afterPreamble() const { return isChecked(kTextsCheck2); }
    bool matchLineBreaks() const { return isChecked(kTextsCheck3); }
    // The old code that 替换 takes out; its box takes input only while 替换 is the action.
    std::wstring oldCode();
    void setReplacing(bool replacing);
    void closeForGood();

protected:
    void onCreated() override;
    void onCommand(int id, int code) override;
    void onClose() override;

private:
    static LRESULT CALLBACK boxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR /*id*/,
                                    DWORD_PTR self);
    // The box's own answer to a message in result; false lets the EDIT have it.
    bool boxMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void setCode(std::wstring text);
    void holdAside(std::wstring text);
    void checkSizeAfterEdit();
    void showNotice(bool shown);

    HWND m_notice = nullptr;
    std::wstring m_whole; // the code while it is held aside
    bool m_heldAside = false;
    bool m_settingBox = false;
    bool m_replacing = false;
};

} // namespace win32ui
