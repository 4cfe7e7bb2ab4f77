#pragma once

#include "forms/BannerState.h"
#include "forms/RunOutcome.h"
#include "platform/System.h"
#include "win32/About.h"
#include "win32/BackgroundRun.h"
#include "win32/FileBro.h"
#include "win32/FormWindow.h"
#include "win32/Texts.h"

#include <memory>

struct Mod;

namespace win32ui {

// The startup window: gathers the choices for a batch run, opens the code window, the folder
// picker and the About window, runs the batch and shows its log. The process lives as long as
// this window: its close ends everything.
class MainForm : public FormWindow {
public:
    MainForm(Mod& mod, const platform::System& system);
    bool open(HICON icon);

    // The windows of the program, for the message loop's keyboard handling.
    bool isOwnWindow(HWND window) const;

protected:
    void onCreated() override;
    void onCommand(int id, int code) override;
    void onClose() override;
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void load();
    void check1Click();
    void choosePosition(int id);
    void command2Click();
    BatchInput choices();
    void runEnded(const BatchResult& result, const std::exception_ptr& failure);
    void reportOutcome(const BatchResult& result);
    // Appends a piece of the core's log (CR LF line breaks) at the end of Text1.
    void appendLog(std::string_view text);
    void command4Click();
    void tickBanner();
    void exitSequence();

    Mod& m_mod;
    layout::BannerState m_banner;
    const platform::System m_system;
    Texts m_texts;
    FileBro m_fileBro;
    About m_about;
    std::unique_ptr<BackgroundRun> m_run;
    bool m_exiting = false;
    bool m_exitRequested = false;
    layout::LogText m_log{layout::LogText::Breaks::CrLf};
};

} // namespace win32ui
