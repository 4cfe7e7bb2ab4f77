#pragma once

#include "win32/FormWindow.h"

#include <string>

namespace win32ui {

// The About window: product, company and author, two text blocks, a picture, three links and OK.
// A fixed tool window without owner; it puts itself on top once, when it is created, and is
// destroyed when closed.
class About : public FormWindow {
public:
    About();
    // Creates the window if it does not exist, else shows the one that does.
    void showSingle(HWND opener);

protected:
    void onCreated() override;
    void onCommand(int id, int code) override;
    layout::Twips placeOf(const layout::Control& control) const override;

private:
    // Each link opens its own copy of the address its caption shows.
    const std::wstring m_companyUrl;
    const std::wstring m_authorUrl;
    const std::wstring m_authorMail;
};

} // namespace win32ui
