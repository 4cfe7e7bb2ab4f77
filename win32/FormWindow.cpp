#include "win32/FormWindow.h"

#include "win32/ControlIds.h"
#include "win32/DesignScale.h"
#include "win32/FirstPlace.h"
#include "win32/Pictures.h"
#include "win32/Wide.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

namespace win32ui {

namespace {

using layout::Kind;

struct ControlClass {
    const wchar_t* name;
    DWORD style;
    DWORD exStyle;
};

constexpr DWORD kScrolledText = ES_MULTILINE | ES_AUTOHSCROLL | ES_AUTOVSCROLL | WS_HSCROLL | WS_VSCROLL;

ControlClass classOf(Kind kind) {
    switch (kind) {
    // Transparent: where the design lets captions overlap, the one beneath is painted first.
    case Kind::Label:
        return {L"STATIC", SS_LEFT | SS_NOPREFIX, WS_EX_TRANSPARENT};
    case Kind::Link:
        return {L"STATIC", SS_LEFT | SS_NOPREFIX | SS_NOTIFY, WS_EX_TRANSPARENT};
    case Kind::TextBox:
        return {L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case Kind::LogBox:
        return {L"EDIT", kScrolledText | ES_READONLY | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case Kind::CodeBox:
        return {L"EDIT", kScrolledText | ES_WANTRETURN | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case Kind::TextBlock:
        // A plain one-pixel frame and no margins: the design's lines fill the box.
        return {L"EDIT", ES_MULTILINE | ES_READONLY | WS_TABSTOP | WS_BORDER, 0};
    case Kind::Frame:
        return {L"BUTTON", BS_GROUPBOX, 0};
    case Kind::Button:
        return {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0};
    case Kind::PictureButton:
        return {L"BUTTON", BS_OWNERDRAW | WS_TABSTOP, 0};
    case Kind::Option:
        return {L"BUTTON", BS_AUTORADIOBUTTON | WS_TABSTOP, 0};
    case Kind::CheckBox:
        return {L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, 0};
    case Kind::Image:
        return {L"STATIC", SS_BITMAP, 0};
    case Kind::Line:
        return {L"STATIC", SS_BLACKRECT, 0};
    case Kind::DriveList:
        return {L"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0};
    case Kind::DirList:
    case Kind::FileList:
        return {L"LISTBOX", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case Kind::Timer:
        break;
    }
    return {nullptr, 0, 0};
}

// Captions that keep their design font only while it fits: headings and links.
bool fitted(const layout::Control& c) { return (c.kind == Kind::Label && c.font) || c.kind == Kind::Link; }

// Options of one frame, one after another, form one group; every other control starts a group.
bool startsGroup(std::span<const layout::Control> controls, std::size_t i) {
    return !(i > 0 && controls[i].kind == Kind::Option && controls[i - 1].kind == Kind::Option &&
             controls[i - 1].frame == controls[i].frame);
}

using AdjustForDpi = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

RECT frameAround(SIZE client, DWORD style, DWORD exStyle, UINT dpi) {
    static const auto forDpi = reinterpret_cast<AdjustForDpi>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    RECT r{0, 0, client.cx, client.cy};
    if (forDpi)
        forDpi(&r, style, FALSE, exStyle, dpi);
    else
        AdjustWindowRectEx(&r, style, FALSE, exStyle);
    return r;
}

// The program's other windows on screen: those of this thread, visible, but this one and the opener.
struct OtherWindows {
    HWND self, opener;
    std::vector<RECT> rects;
};

BOOL CALLBACK noteOther(HWND window, LPARAM param) {
    auto* found = reinterpret_cast<OtherWindows*>(param);
    RECT r;
    // A hidden window of ours keeps its place for when it comes back (the code window between uses).
    const bool ours =
        IsWindowVisible(window) || (GetWindowLongPtrW(window, GWL_STYLE) & WS_CAPTION) == WS_CAPTION;
    if (window != found->self && window != found->opener && ours && !IsIconic(window) &&
        GetWindowRect(window, &r))
        found->rects.push_back(r);
    return TRUE;
}

} // namespace

FormWindow::FormWindow(const layout::Window& design, const wchar_t* className)
    : m_design(design), m_className(className) {}

FormWindow::~FormWindow() { destroy(); }

void FormWindow::destroy() {
    if (!m_hwnd)
        return;
    HWND window = std::exchange(m_hwnd, nullptr);
    m_shown = false;
    destroyTips();
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
}

void FormWindow::registerClass(const wchar_t* className, HICON icon) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &FormWindow::windowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hIcon = icon;
    wc.hIconSm = icon;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = className;
    RegisterClassExW(&wc);
}

bool FormWindow::create(DWORD style, DWORD exStyle) {
    const std::wstring caption = toWide(m_design.caption);
    m_hwnd = CreateWindowExW(exStyle, m_className, caption.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    if (!m_hwnd)
        return false;
    m_dpi = dpiOf(m_hwnd);
    const RECT frame =
        frameAround({px(m_design.width, m_dpi), px(m_design.height, m_dpi)}, style, exStyle, m_dpi);
    SetWindowPos(m_hwnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    createControls();
    layOut();
    onCreated();
    return true;
}

void FormWindow::createControls() {
    const auto controls = m_design.controls;
    m_controls.assign(controls.size(), nullptr);
    m_fonts = std::vector<OwnedFont>(controls.size());
    m_pictures = std::vector<OwnedBitmap>(controls.size());
    for (std::size_t i = 0; i < controls.size(); ++i) {
        m_controls[i] = createControl(controls[i], kFirstControlId + int(i));
        if (m_controls[i] && startsGroup(controls, i))
            SetWindowLongPtrW(m_controls[i], GWL_STYLE,
                              GetWindowLongPtrW(m_controls[i], GWL_STYLE) | WS_GROUP);
        if (!controls[i].picture.empty())
            m_pictures[i] = loadPicture(controls[i].picture, GetSysColor(COLOR_BTNFACE));
        if (controls[i].kind == Kind::Image && m_pictures[i])
            SendMessageW(m_controls[i], STM_SETIMAGE, IMAGE_BITMAP, LPARAM(m_pictures[i].get()));
        if (controls[i].on)
            SendMessageW(m_controls[i], BM_SETCHECK, BST_CHECKED, 0);
        if (controls[i].kind == Kind::TextBlock)
            SendMessageW(m_controls[i], EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
    }
    addTips();
}

// One tooltip window for the rows that have a tip. It has no owner: an owned one keeps wine from
// putting its owner on top of other windows (SetTopMost); the window destroys it with itself.
void FormWindow::addTips() {
    HWND& tips = m_tips;
    for (std::size_t i = 0; i < m_controls.size(); ++i) {
        if (m_design.controls[i].tip.empty() || !m_controls[i])
            continue;
        if (!tips) {
            tips = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                                   nullptr, GetModuleHandleW(nullptr), nullptr);
            // Long tips wrap at a third of the screen's width rather than running across it.
            SendMessageW(tips, TTM_SETMAXTIPWIDTH, 0, GetSystemMetrics(SM_CXSCREEN) / 3);
        }
        std::wstring tip = toWide(m_design.controls[i].tip);
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = m_hwnd;
        tool.uId = reinterpret_cast<UINT_PTR>(m_controls[i]);
        tool.lpszText = tip.data();
        SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void FormWindow::destroyTips() {
    if (m_tips)
        DestroyWindow(std::exchange(m_tips, nullptr));
}

HWND FormWindow::createControl(const layout::Control& c, int id) {
    const ControlClass cls = classOf(c.kind);
    if (!cls.name)
        return nullptr;
    const std::wstring caption = toWide(c.caption);
    return CreateWindowExW(cls.exStyle, cls.name, caption.c_str(), WS_CHILD | WS_VISIBLE | cls.style, 0, 0, 0,
                           0, m_hwnd, reinterpret_cast<HMENU>(INT_PTR(id)), GetModuleHandleW(nullptr),
                           nullptr);
}

void FormWindow::layOut() {
    // The fonts in use stay until every control has its new one.
    const std::vector<OwnedFont> old = std::exchange(m_fonts, std::vector<OwnedFont>(m_controls.size()));
    const OwnedFont oldWindowFont = std::exchange(
        m_windowFont, m_design.font ? createFont(*m_design.font, m_dpi) : createWindowFont(m_dpi));
    for (std::size_t i = 0; i < m_controls.size(); ++i)
        if (m_controls[i])
            placeControl(i);
}

void FormWindow::placeControl(std::size_t i) {
    const layout::Control& c = m_design.controls[i];
    layout::Twips t = placeOf(c);
    if (!c.frame.empty()) {
        t.left += m_design[c.frame].place.left;
        t.top += m_design[c.frame].place.top;
    }
    const RECT r = toPixels(t, m_dpi);
    int height = r.bottom - r.top;
    if (c.kind == Kind::Line)
        height = 1;
    else if (c.kind == Kind::DriveList)
        height *= 12; // the drop-down list's room
    const UINT keepSize = c.kind == Kind::Image ? SWP_NOSIZE : 0;
    SetWindowPos(m_controls[i], nullptr, r.left, r.top, r.right - r.left, height, SWP_NOZORDER | keepSize);
    fitFontAt(i);
}

SIZE FormWindow::roomOf(std::size_t i) const {
    RECT r;
    GetClientRect(m_controls[i], &r);
    return {r.right, r.bottom};
}

double FormWindow::linkPoints() const {
    double points = 1e9;
    for (std::size_t i = 0; i < m_controls.size(); ++i)
        if (m_design.controls[i].kind == Kind::Link)
            points = std::min(points, fittingPoints(*m_design.controls[i].font,
                                                    text(kFirstControlId + int(i)), roomOf(i), m_dpi));
    return points;
}

void FormWindow::fitFontAt(std::size_t i) {
    const layout::Control& c = m_design.controls[i];
    OwnedFont font;
    if (c.kind == Kind::Link) {
        layout::Font shrunk = *c.font;
        shrunk.points = linkPoints();
        font = createFont(shrunk, m_dpi);
    } else if (fitted(c)) {
        font = createFittedFont(*c.font, text(kFirstControlId + int(i)), roomOf(i), m_dpi);
    } else if (c.font) {
        font = createFont(*c.font, m_dpi);
    }
    SendMessageW(m_controls[i], WM_SETFONT, WPARAM(font ? font.get() : m_windowFont.get()), TRUE);
    // The control has let go of the font it had: that one may go now.
    m_fonts[i] = std::move(font);
}

void FormWindow::fitFont(int id) { fitFontAt(std::size_t(id - kFirstControlId)); }

void FormWindow::sizeToCaption(int id) {
    HWND label = control(id);
    const std::wstring caption = text(id);
    RECT r{0, 0, 0, 0};
    {
        const WindowDc dc(label);
        const Selection inFont(dc.get(), reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
        DrawTextW(dc.get(), caption.c_str(), int(caption.size()), &r,
                  DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    }
    RECT now;
    GetWindowRect(label, &now);
    SetWindowPos(label, nullptr, 0, 0, r.right, now.bottom - now.top, SWP_NOMOVE | SWP_NOZORDER);
}

HWND FormWindow::control(int id) const {
    const auto index = std::size_t(id - kFirstControlId);
    return id >= kFirstControlId && index < m_controls.size() ? m_controls[index] : nullptr;
}

std::wstring FormWindow::text(int id) const {
    HWND c = control(id);
    std::wstring out(std::size_t(GetWindowTextLengthW(c)) + 1, L'\0');
    out.resize(std::size_t(GetWindowTextW(c, out.data(), int(out.size()))));
    return out;
}

void FormWindow::setText(int id, std::wstring_view text) {
    SetWindowTextW(control(id), std::wstring(text).c_str());
}

bool FormWindow::isChecked(int id) const {
    return SendMessageW(control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void FormWindow::placeBeside(HWND opener) {
    RECT own, openerRect;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (!GetWindowRect(m_hwnd, &own) || !GetWindowRect(opener, &openerRect) ||
        !GetMonitorInfoW(MonitorFromWindow(opener, MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    OtherWindows others{m_hwnd, opener, {}};
    EnumThreadWindows(GetCurrentThreadId(), &noteOther, reinterpret_cast<LPARAM>(&others));
    const POINT at =
        firstPlace({own.right - own.left, own.bottom - own.top}, openerRect, others.rects, monitor.rcWork);
    SetWindowPos(m_hwnd, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FormWindow::bringUp(HWND opener) {
    if (!m_shown && opener)
        placeBeside(opener);
    m_shown = true;
    if (IsIconic(m_hwnd))
        ShowWindow(m_hwnd, SW_RESTORE);
    ShowWindow(m_hwnd, SW_SHOW);
    SetForegroundWindow(m_hwnd);
}

LRESULT FormWindow::colourOf(HDC dc, HWND c) {
    const int index = GetDlgCtrlID(c) - kFirstControlId;
    const bool ours = index >= 0 && std::size_t(index) < m_design.controls.size();
    const layout::Control* design = ours ? &m_design.controls[std::size_t(index)] : nullptr;
    if (design && design->colour)
        SetTextColor(dc, toColorRef(*design->colour));
    // Captions are drawn over what lies beneath them, as the design overlaps some of them.
    if (design && (design->kind == Kind::Label || design->kind == Kind::Link)) {
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetStockObject(HOLLOW_BRUSH));
    }
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

void FormWindow::drawPictureButton(const DRAWITEMSTRUCT& item) {
    const std::size_t index = std::size_t(int(item.CtlID) - kFirstControlId);
    const bool pushed = item.itemState & ODS_SELECTED;
    RECT r = item.rcItem;
    DrawFrameControl(item.hDC, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
    InflateRect(&r, -3, -3);
    if (pushed)
        OffsetRect(&r, 1, 1);
    const std::wstring caption = text(int(item.CtlID));
    RECT captionRect = r;
    DrawTextW(item.hDC, caption.c_str(), -1, &captionRect, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    const int captionTop = r.bottom - (captionRect.bottom - captionRect.top);
    if (HBITMAP picture = m_pictures[index].get()) {
        const SIZE size = bitmapSize(picture);
        const MemoryDc source(item.hDC);
        const Selection selected(source.get(), picture);
        BitBlt(item.hDC, (r.left + r.right - size.cx) / 2, (r.top + captionTop - size.cy) / 2, size.cx,
               size.cy, source.get(), 0, 0, SRCCOPY);
    }
    RECT bottom{r.left, captionTop, r.right, r.bottom};
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, GetSysColor((item.itemState & ODS_DISABLED) ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    DrawTextW(item.hDC, caption.c_str(), -1, &bottom, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX | DT_VCENTER);
    if (item.itemState & ODS_FOCUS)
        DrawFocusRect(item.hDC, &r);
}

bool FormWindow::setLinkCursor(HWND c) {
    const int index = GetDlgCtrlID(c) - kFirstControlId;
    if (index < 0 || std::size_t(index) >= m_design.controls.size() ||
        m_design.controls[std::size_t(index)].kind != Kind::Link)
        return false;
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
    return true;
}

LRESULT FormWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND self = m_hwnd;
    switch (message) {
    case WM_COMMAND:
        onCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_CTLCOLORSTATIC:
        return colourOf(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_DRAWITEM:
        drawPictureButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_SETCURSOR:
        if (setLinkCursor(reinterpret_cast<HWND>(wParam)))
            return TRUE;
        break;
    case WM_DPICHANGED: {
        m_dpi = HIWORD(wParam);
        const RECT* r = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(m_hwnd, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top, SWP_NOZORDER);
        layOut();
        return 0;
    }
    case WM_CLOSE:
        onClose();
        return 0;
    case WM_NCDESTROY:
        // Destroyed without destroy(): the system's own end of a window.
        m_hwnd = nullptr;
        m_shown = false;
        destroyTips();
        break;
    }
    return DefWindowProcW(self, message, wParam, lParam);
}

LRESULT CALLBACK FormWindow::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<FormWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->m_hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY)
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    return self->handle(message, wParam, lParam);
}

} // namespace win32ui
