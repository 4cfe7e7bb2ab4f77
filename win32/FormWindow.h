#pragma once

#include "forms/WindowDesign.h"

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
    HWND control(std::string_view name) const;
    std::wstring text(std::string_view name) const;
    void setText(std::string_view name, std::wstring_view text);
    bool isChecked(std::string_view name) const;
    // Shows the window, restored if minimised, in front and with the focus. Its first showing
    // puts it beside the opener, clear of the program's other windows on screen.
    void bringUp(HWND opener = nullptr);

    // The window class of every window of this kind; once per process.
    static void registerClass(const wchar_t* className, HICON icon);

protected:
    // Creates the window (hidden) and its controls.
    bool create(DWORD style, DWORD exStyle);
    virtual void onCreated() {}
    virtual void onCommand(int id, int code) { (void)id, (void)code; }
    // A close of the window from its title bar or by WM_CLOSE; the default destroys it.
    virtual void onClose() { DestroyWindow(m_hwnd); }
    virtual void onDestroyed() {}
    virtual LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    // Where a control stands, in twips relative to its frame: the design's place unless a window
    // knows better.
    virtual layout::Twips placeOf(const layout::Control& control) const { return control.place; }

    int idOf(std::string_view name) const;
    const layout::Control& design(std::string_view name) const { return m_design[name]; }
    // Gives a control its font again: the design's, fitted to its caption where the caption must
    // never be cut off (links share the size at which all of them fit).
    void fitFont(std::size_t index);
    void fitFont(std::string_view name);
    // The label as wide as its caption, its left edge kept.
    void sizeToCaption(std::string_view name);
    UINT dpi() const { return m_dpi; }

    const layout::Window& m_design;
    HWND m_hwnd = nullptr;

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void createControls();
    HWND createControl(const layout::Control& control, int id);
    void layOut();
    void placeControl(std::size_t index);
    void releaseFonts();
    LRESULT colourOf(HDC dc, HWND control);
    void drawPictureButton(const DRAWITEMSTRUCT& item);
    bool setLinkCursor(HWND control);
    double linkPoints() const;
    SIZE roomOf(std::size_t index) const;
    void placeBeside(HWND opener);

    const wchar_t* m_className;
    UINT m_dpi = 96;
    std::vector<HWND> m_controls;
    std::vector<HFONT> m_fonts;
    std::vector<HBITMAP> m_pictures;
    HFONT m_windowFont = nullptr;
    bool m_shown = false;
};

} // namespace win32ui
