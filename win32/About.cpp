#include "win32/About.h"

#include "StepwickVersion.h"
#include "forms/Wording.h"
#include "platform/win32desktop/ApiBAS.h"
#include "platform/win32desktop/TOURL.h"
#include "win32/ControlIds.h"
#include "win32/Wide.h"

namespace win32ui {

About::About()
    : FormWindow(layout::kAbout, kAboutClass), m_companyUrl(toWide(stepwick::kCompanyUrl)),
      m_authorUrl(toWide(stepwick::kAuthorUrl)), m_authorMail(toWide(stepwick::kAuthorMail)) {}

void About::showSingle(HWND opener) {
    if (!exists())
        create(WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, WS_EX_TOOLWINDOW);
    bringUp(opener);
    // The OK button, first in the tab order, holds the focus.
    SetFocus(control("Command1"));
}

void About::onCreated() {
    setText("Text1", toWide(layout::rosterText()));
    setText("Text2", toWide(layout::contactText()));
    const std::pair<const char*, const std::wstring*> links[] = {
        {"Label4", &m_companyUrl}, {"Label6", &m_authorUrl}, {"Label7", &m_authorMail}};
    for (const auto& [name, address] : links)
        setText(name, toWide(design(name).caption) + *address);
    for (const auto& [name, address] : links)
        fitFont(name);
    ApiBAS::SetTopMost(m_hwnd, true);
}

layout::Twips About::placeOf(const layout::Control& c) const {
    // The two lower links stop short of the OK button beside them.
    layout::Twips t = c.place;
    if (c.name == "Label6" || c.name == "Label7")
        t.width = layout::linkWidthBesideOk(c);
    return t;
}

void About::onCommand(int id, int code) {
    if (id == idOf("Command1") && code == BN_CLICKED)
        DestroyWindow(m_hwnd);
    else if (id == idOf("Label4") && code == STN_CLICKED)
        TOURL::OpenUrl(m_companyUrl);
    else if (id == idOf("Label6") && code == STN_CLICKED)
        TOURL::OpenUrl(m_authorUrl);
    else if (id == idOf("Label7") && code == STN_CLICKED)
        TOURL::OpenMail(m_authorMail);
}

} // namespace win32ui
