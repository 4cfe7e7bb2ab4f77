#include "win32/MainForm.h"

#include "StepwickVersion.h"
#include "core/Mod.h"
#include "platform/win32desktop/ApiBAS.h"
#include "platform/win32desktop/TOURL.h"
#include "ui/layout/Wording.h"
#include "win32/ControlIds.h"
#include "win32/Wide.h"

#include <cmath>

namespace win32ui {

namespace {
constexpr UINT_PTR kTimer1 = 1;
constexpr UINT kTickMs = 3000;
} // namespace

MainForm::MainForm(Mod& mod) : FormWindow(layout::kMainForm, kMainFormClass), m_mod(mod), m_fileBro(mod) {}

bool MainForm::open(HICON icon) {
    registerClass(kMainFormClass, icon);
    for (const wchar_t* name : {kTextsClass, kFileBroClass, kAboutClass})
        registerClass(name, nullptr);
    // A fixed window with a close button only: no minimize, no maximize.
    if (!create(WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, WS_EX_APPWINDOW))
        return false;
    ShowWindow(m_hwnd, SW_SHOW);
    return true;
}

bool MainForm::isOwnWindow(HWND window) const {
    return window && (window == m_hwnd || window == m_texts.hwnd() || window == m_fileBro.hwnd() ||
                      window == m_about.hwnd());
}

void MainForm::onCreated() { load(); }

void MainForm::load() {
    // The code window exists, hidden, from the start, holding its placeholder text.
    m_texts.ensure();
    for (int i = 1; i <= layout::kBannerMessages; ++i)
        m_mod.BannerLines[std::size_t(i)] = layout::bannerMessage(i);
    SetTimer(m_hwnd, kTimer1, kTickMs, nullptr);
    loadDefaults(m_mod);
    sizeToCaption("ADL");
}

void MainForm::onCommand(int id, int code) {
    if (code != BN_CLICKED)
        return;
    if (id == idOf("Check1"))
        check1Click();
    else if (id == idOf("CmdAdd")) {
        m_texts.ensure();
        m_texts.bringUp();
    } else if (id == idOf("CmdOpen"))
        m_fileBro.showSingle();
    else if (id == idOf("Command1"))
        m_about.showSingle();
    else if (id == idOf("Command2"))
        command2Click();
    else if (id == idOf("Command3"))
        TOURL::OpenUrl(toWide(stepwick::kAuthorUrl));
    else if (id == idOf("Command4"))
        command4Click();
    else
        optionClick(id);
}

void MainForm::check1Click() { ApiBAS::SetTopMost(m_hwnd, isChecked("Check1")); }

void MainForm::optionClick(int id) {
    const std::pair<const char*, const char*> presets[] = {
        {"Option1", "txt"}, {"Option2", "htm"}, {"Option3", "asp"}, {"Option4", "php"}};
    for (const auto& [name, extension] : presets)
        if (id == idOf(name))
            m_mod.FileExt = extension;
}

void MainForm::command2Click() {}

void MainForm::timer1Timer() {
    // at() turns a corrupted position into an error instead of reading past the table.
    setText("ADL", toWide(m_mod.BannerLines.at(std::size_t(m_mod.BannerPos))));
    ++m_mod.BannerPos;
    // The width must be the new caption's, so the label sizes itself before it is centred.
    sizeToCaption("ADL");
    RECT client, label;
    GetClientRect(m_hwnd, &client);
    GetWindowRect(control("ADL"), &label);
    MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&label), 2);
    const double left = (client.right - (label.right - label.left)) / 2.0;
    SetWindowPos(control("ADL"), nullptr, int(std::lround(left)), label.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    InvalidateRect(m_hwnd, nullptr, TRUE);
    if (m_mod.BannerPos == m_mod.BannerCount + 1)
        m_mod.BannerPos = 1;
}

void MainForm::command4Click() { exitSequence(); }

void MainForm::onClose() { exitSequence(); }

void MainForm::exitSequence() {
    if (m_exiting)
        return;
    m_exiting = true;
    m_texts.closeForGood();
    // The picker's close confirms the folder it shows.
    m_fileBro.closeConfirming();
    if (m_about.exists())
        DestroyWindow(m_about.hwnd());
    DestroyWindow(m_hwnd);
}

void MainForm::onDestroyed() {
    KillTimer(m_hwnd, kTimer1);
    PostQuitMessage(0);
}

LRESULT MainForm::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && wParam == kTimer1) {
        timer1Timer();
        return 0;
    }
    return FormWindow::handle(message, wParam, lParam);
}

} // namespace win32ui
