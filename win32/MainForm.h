#pragma once

#include "win32/About.h"
#include "win32/FileBro.h"
#include "win32/FormWindow.h"
#include "win32/Texts.h"

struct Mod;

namespace win32ui {

// The startup window: gathers the choices for a batch run, opens the code window, the folder
// picker and the About window, runs the batch and shows its log. The process lives as long as
// this window: its close ends everything.
class MainForm : public FormWindow {
public:
    explicit MainForm(Mod& mod);
    bool open(HICON icon);

    // The windows of the program, for the message loop's keyboard handling.
    bool isOwnWindow(HWND window) const;

protected:
    void onCreated() override;
    void onCommand(int id, int code) override;
    void onClose() override;
    void onDestroyed() override;
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void load();
    void check1Click();
    void optionClick(int id);
    void command2Click();
    void command4Click();
    void timer1Timer();
    void exitSequence();

    Mod& m_mod;
    Texts m_texts;
    FileBro m_fileBro;
    About m_about;
    bool m_exiting = false;
};

} // namespace win32ui
