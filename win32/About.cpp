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
    SetFocus(control(kAboutCommand1));
}

void About::onCreated() {
    setText(kAboutText1, toWide(layout::rosterText()));
    setText(kAboutText2, toWide(layout::contactText()));
    const std::pair<int, const std::wstring*> links[] = {
        {kAboutLabel4, &m_companyUrl}, {kAboutLabel6, &m_authorUrl}, {kAboutLabel7, &m_authorMail}};
    for (const auto& [id, address] : links)
        setText(id, toWide(m_design.controls[std::size_t(id - kFirstControlId)].caption) + *address);
    for (const auto& [id, address] : links)
        fitFont(id);
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
    // A press of the button (BN_CLICKED) or of a link (STN_CLICKED, the same number).
    static_assert(BN_CLICKED == STN_CLICKED);
    if (code != BN_CLICKED)
        return;
    switch (id) {
    case kAboutCommand1:
        return destroy();
    case kAboutLabel4:
        return TOURL::OpenUrl(m_companyUrl);
    case kAboutLabel6:
        return TOURL::OpenUrl(m_authorUrl);
    case kAboutLabel7:
        return TOURL::OpenMail(m_authorMail);
    default:
        break;
    }
}

} // namespace win32ui
