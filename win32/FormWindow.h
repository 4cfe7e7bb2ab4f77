#pragma once

#include "forms/WindowDesign.h"
#include "win32/GdiObjects.h"

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace win32ui {

// A window built from its design table: its controls placed in twips at the monitor's DPI, in
// their fonts and colours, laid out afresh when the DPI changes. Subclasses answer the events.
class FormWindow {
public:
    explicit FormWindow(const layout::Window& design, const wchar_t* className);
    virtual ~FormWindow();
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    HWND hwnd() const { return m_hwnd; }
    bool exists() const { return m_hwnd != nullptr; }
    // Controls by their ids (ControlIds.h).
    HWND control(int id) const;
    std::wstring text(int id) const;
    void setText(int id, std::wstring_view text);
    bool isChecked(int id) const;
    // Destroys the window, if it exists. Its messages stop reaching this object first, so nothing the
    // window does as it goes can call back into a window half destroyed.
    void destroy();
    // Shows the window, restored if minimised, in front and with the focus. Its first showing
    // puts it beside the opener, clear of the program's other windows on screen.
    void bringUp(HWND opener = nullptr);

    // The window class of every window of this kind; once per process.
    static void registerClass(const wchar_t* className, HICON icon);

protected:
    // Creates the window (hidden) and its controls.
    bool create(DWORD style, DWORD exStyle);
    virtual void onCreated() {}
    // A control's notification; the windows dispatch it by id in a switch.
    virtual void onCommand(int id, int code) { (void)id, (void)code; }
    // A close of the window from its title bar or by WM_CLOSE; the default destroys it.
    virtual void onClose() { destroy(); }
    virtual LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    // Where a control stands, in twips relative to its frame: the design's place unless a window
    // knows better.
    virtual layout::Twips placeOf(const layout::Control& control) const { return control.place; }

    // Gives a control its font again: the design's, fitted to its caption where the caption must
    // never be cut off (links share the size at which all of them fit).
    void fitFont(int id);
    // The label as wide as its caption, its left edge kept.
    void sizeToCaption(int id);
    UINT dpi() const { return m_dpi; }

    const layout::Window& m_design;
    HWND m_hwnd = nullptr;

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void createControls();
    void addTips();
    void destroyTips();
    HWND createControl(const layout::Control& control, int id);
    void layOut();
    void placeControl(std::size_t index);
    void fitFontAt(std::size_t index);
    LRESULT colourOf(HDC dc, HWND control);
    void drawPictureButton(const DRAWITEMSTRUCT& item);
    bool setLinkCursor(HWND control);
    double linkPoints() const;
    SIZE roomOf(std::size_t index) const;
    void placeBeside(HWND opener);

    const wchar_t* m_className;
    UINT m_dpi = 96;
    std::vector<HWND> m_controls;
    // The controls' fonts and pictures: released after the destructor's body has destroyed the
    // window, and the controls with it.
    std::vector<OwnedFont> m_fonts;
    std::vector<OwnedBitmap> m_pictures;
    OwnedFont m_windowFont;
    HWND m_tips = nullptr; // the tooltip window, once a row has a tip
    bool m_shown = false;
};

} // namespace win32ui
