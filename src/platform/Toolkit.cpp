#include "platform/Toolkit.h"

#include "platform/Dialogs.h"
#include "platform/Error.h"

#include <commctrl.h>

#include <cmath>

namespace platform {

namespace {

constexpr char kWindowClass[] = "AddInRegWindow";
int g_openWindows = 0;
MousePointer g_pointer = MousePointer::Default;

// DPI functions of newer systems, looked up at run time so that the program
// still starts where they are missing.
template <typename Fn>
Fn user32Function(const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

UINT screenDpi()
{
    HDC dc = GetDC(nullptr);
    UINT dpi = UINT(GetDeviceCaps(dc, LOGPIXELSY));
    ReleaseDC(nullptr, dc);
    return dpi ? dpi : 96;
}

UINT dpiForWindow(HWND hwnd)
{
    using Fn = UINT(WINAPI*)(HWND);
    static const Fn getDpiForWindow = user32Function<Fn>("GetDpiForWindow");
    if (getDpiForWindow && hwnd) {
        if (UINT dpi = getDpiForWindow(hwnd)) return dpi;
    }
    return screenDpi();
}

RECT windowRectForClient(int width, int height, DWORD style, DWORD exStyle, UINT dpi)
{
    using Fn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const Fn adjustForDpi = user32Function<Fn>("AdjustWindowRectExForDpi");
    RECT rc{0, 0, width, height};
    if (!adjustForDpi || !adjustForDpi(&rc, style, FALSE, exStyle, dpi)) AdjustWindowRectEx(&rc, style, FALSE, exStyle);
    return rc;
}

HFONT createFont(const FontSpec& font, UINT dpi)
{
    if (font.face.empty()) {
        // The toolkit's default: the system's message font at this DPI.
        using Fn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
        static const Fn parametersForDpi = user32Function<Fn>("SystemParametersInfoForDpi");
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof(metrics);
        if (parametersForDpi && parametersForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi))
            return CreateFontIndirectW(&metrics.lfMessageFont);
        if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
            LOGFONTW lf = metrics.lfMessageFont;
            lf.lfHeight = MulDiv(lf.lfHeight, int(dpi), int(screenDpi()));
            return CreateFontIndirectW(&lf);
        }
        return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    }
    int height = -int(std::lround(font.points * dpi / 72.0));
    return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, font.face.c_str());
}

Control* controlOf(HWND child)
{
    return child ? reinterpret_cast<Control*>(GetWindowLongPtrA(child, GWLP_USERDATA)) : nullptr;
}

// Runs one event handler; an error that it does not take ends the program
// after its report, so no exception ever crosses a window procedure.
template <typename Fn>
void guarded(Fn&& fn)
{
    try {
        fn();
    } catch (const std::exception& e) {
        reportFatalError(e);
    }
}

bool isOwnTopLevel(HWND hwnd)
{
    char name[64];
    return hwnd && GetClassNameA(hwnd, name, sizeof(name)) && lstrcmpA(name, kWindowClass) == 0;
}

void registerWindowClass()
{
    static bool registered = false;
    if (registered) return;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hIcon = LoadIconA(wc.hInstance, MAKEINTRESOURCEA(1));
    if (!wc.hIcon) wc.hIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(32512)); // IDI_APPLICATION
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));            // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWindowClass;
    registered = RegisterClassExA(&wc) != 0;
}

} // namespace

// --- Control ---------------------------------------------------------------

std::string Control::windowText() const
{
    if (!hwnd_) return {};
    std::string text(size_t(GetWindowTextLengthA(hwnd_)) + 1, '\0');
    text.resize(size_t(GetWindowTextA(hwnd_, text.data(), int(text.size()))));
    return text;
}

void Control::setWindowText(const std::string& text)
{
    if (hwnd_) SetWindowTextA(hwnd_, text.c_str());
}

// --- ListBox ---------------------------------------------------------------

Control::NativeStyle ListBox::nativeStyle() const
{
    return {"LISTBOX",
            WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_SORT | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT,
            WS_EX_CLIENTEDGE};
}

void ListBox::onCommand(WORD code)
{
    if (code == LBN_SELCHANGE && onClick) onClick();
}

int ListBox::count() const { return int(SendMessageA(hwnd_, LB_GETCOUNT, 0, 0)); }

std::string ListBox::itemText(int index) const
{
    LRESULT length = SendMessageA(hwnd_, LB_GETTEXTLEN, WPARAM(index), 0);
    if (length == LB_ERR) return {};
    std::string text(size_t(length) + 1, '\0');
    LRESULT copied = SendMessageA(hwnd_, LB_GETTEXT, WPARAM(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == LB_ERR ? 0 : size_t(copied));
    return text;
}

int ListBox::selectedIndex() const { return int(SendMessageA(hwnd_, LB_GETCURSEL, 0, 0)); }

std::string ListBox::selectedText() const
{
    int index = selectedIndex();
    return index < 0 ? std::string() : itemText(index);
}

void ListBox::setSelectedIndex(int index)
{
    SendMessageA(hwnd_, LB_SETCURSEL, WPARAM(index), 0);
    if (onClick) onClick();
}

void ListBox::clear() { SendMessageA(hwnd_, LB_RESETCONTENT, 0, 0); }

void ListBox::addItem(const std::string& text)
{
    SendMessageA(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// --- Label -----------------------------------------------------------------

Control::NativeStyle Label::nativeStyle() const
{
    DWORD style = SS_NOPREFIX | (options_.align == Align::Right ? SS_RIGHT : SS_LEFT);
    if (options_.border) style |= WS_BORDER;
    return {"STATIC", style, 0};
}

// --- TextBox ---------------------------------------------------------------

Control::NativeStyle TextBox::nativeStyle() const
{
    return {"EDIT", WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
}

void TextBox::afterCreate() { SetWindowSubclass(hwnd_, subclassProc, 1, reinterpret_cast<DWORD_PTR>(this)); }

LRESULT CALLBACK TextBox::subclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data)
{
    if (msg == WM_KEYUP) {
        auto* self = reinterpret_cast<TextBox*>(data);
        if (self->onKeyUp) {
            int shift = (GetKeyState(VK_SHIFT) < 0 ? 1 : 0) | (GetKeyState(VK_CONTROL) < 0 ? 2 : 0) |
                        (GetKeyState(VK_MENU) < 0 ? 4 : 0);
            guarded([&] { self->onKeyUp(int(wp), shift); });
        }
    } else if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, subclassProc, 1);
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

void TextBox::onCommand(WORD code)
{
    if (code != EN_CHANGE) return;
    ++changeCount_;
    if (onChange) onChange();
}

void TextBox::setText(const std::string& text)
{
    // The edit control reports its own change; where it does not (the same
    // text again), the change callback still runs once.
    unsigned before = changeCount_;
    setWindowText(text);
    if (changeCount_ == before && onChange) onChange();
}

// --- CheckBox and Button ---------------------------------------------------

Control::NativeStyle CheckBox::nativeStyle() const { return {"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX, 0}; }

void CheckBox::onCommand(WORD code)
{
    if (code == BN_CLICKED && onClick) onClick();
}

bool CheckBox::isChecked() const { return SendMessageA(hwnd_, BM_GETCHECK, 0, 0) != BST_UNCHECKED; }

void CheckBox::setChecked(bool checked) { SendMessageA(hwnd_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0); }

Control::NativeStyle Button::nativeStyle() const { return {"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0}; }

void Button::onCommand(WORD code)
{
    if (code == BN_CLICKED && onClick) onClick();
}

// --- Window ----------------------------------------------------------------

Window::~Window()
{
    if (!hwnd_) return;
    // The derived window's controls are gone already: detach before destroying.
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
    --g_openWindows;
    if (font_) DeleteObject(font_);
}

void Window::open(const WindowLayout& layout, std::initializer_list<ControlRow> controls)
{
    registerWindowClass();
    layout_ = layout;
    controls_.clear();

    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_CONTROLPARENT;
    UINT dpi = screenDpi();
    RECT rc = windowRectForClient(twipsToPixels(layout.clientWidth, dpi), twipsToPixels(layout.clientHeight, dpi), style,
                                  exStyle, dpi);
    HWND hwnd = CreateWindowExA(exStyle, kWindowClass, layout.caption.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                                rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr, GetModuleHandleA(nullptr),
                                nullptr);
    if (!hwnd) throw AppError(long(GetLastError()), "The window could not be created");
    hwnd_ = hwnd;
    ++g_openWindows;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(windowProc));

    int id = 100;
    for (const ControlRow& row : controls) {
        Control& c = row.control;
        Control::NativeStyle ns = c.nativeStyle();
        c.rect_ = row.rect;
        c.hwnd_ = CreateWindowExA(ns.exStyle, ns.className, row.text, WS_CHILD | WS_VISIBLE | ns.style, 0, 0, 0, 0,
                                  hwnd, reinterpret_cast<HMENU>(INT_PTR(id++)), GetModuleHandleA(nullptr), nullptr);
        if (!c.hwnd_) throw AppError(long(GetLastError()), "A control could not be created");
        SetWindowLongPtrA(c.hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&c));
        c.afterCreate();
        controls_.push_back(&c);
    }
    applyDpi(dpiForWindow(hwnd));
}

void Window::applyDpi(UINT dpi)
{
    HFONT old = font_;
    font_ = createFont(layout_.font, dpi);
    for (Control* c : controls_) {
        const TwipRect& r = c->rect_;
        SetWindowPos(c->hwnd_, nullptr, twipsToPixels(r.left, dpi), twipsToPixels(r.top, dpi),
                     twipsToPixels(r.width, dpi), twipsToPixels(r.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageA(c->hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    }
    if (old) DeleteObject(old);
}

void Window::show()
{
    if (!hwnd_) return;
    if (!IsWindowVisible(hwnd_)) {
        // Keep the client area exact at the window's actual DPI.
        UINT dpi = dpiForWindow(hwnd_);
        RECT rc = windowRectForClient(twipsToPixels(layout_.clientWidth, dpi), twipsToPixels(layout_.clientHeight, dpi),
                                      DWORD(GetWindowLongPtrA(hwnd_, GWL_STYLE)),
                                      DWORD(GetWindowLongPtrA(hwnd_, GWL_EXSTYLE)), dpi);
        SetWindowPos(hwnd_, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
}

void Window::close()
{
    if (hwnd_) DestroyWindow(hwnd_);
}

LRESULT CALLBACK Window::windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
    return self->handleMessage(msg, wp, lp);
}

LRESULT Window::handleMessage(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_COMMAND:
        if (Control* c = controlOf(reinterpret_cast<HWND>(lp)); c && lp) {
            guarded([&] { c->onCommand(HIWORD(wp)); });
            return 0;
        }
        break;
    case WM_CTLCOLORSTATIC:
        if (auto* label = dynamic_cast<Label*>(controlOf(reinterpret_cast<HWND>(lp))); label && label->hasInfoBackground()) {
            SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_INFOBK));
            SetTextColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_INFOTEXT));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_INFOBK));
        }
        break;
    case WM_SETCURSOR:
        if (g_pointer == MousePointer::Hourglass) {
            SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514))); // IDC_WAIT
            return TRUE;
        }
        break;
    case WM_ACTIVATE:
        // Give the focus back to a control, never to the bare window.
        if (LOWORD(wp) != WA_INACTIVE) {
            HWND focus = GetFocus();
            if (!focus || !IsChild(hwnd_, focus)) {
                if (HWND first = GetNextDlgTabItem(hwnd_, nullptr, FALSE)) SetFocus(first);
            }
            return 0;
        }
        break;
    case WM_DPICHANGED: {
        const RECT* r = reinterpret_cast<const RECT*>(lp);
        SetWindowPos(hwnd_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        applyDpi(HIWORD(wp));
        return 0;
    }
    case WM_DESTROY:
        for (Control* c : controls_) c->hwnd_ = nullptr;
        controls_.clear();
        break;
    case WM_NCDESTROY: {
        HWND hwnd = hwnd_;
        hwnd_ = nullptr;
        if (font_) DeleteObject(font_);
        font_ = nullptr;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        if (--g_openWindows == 0) PostQuitMessage(0);
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
    default:
        break;
    }
    return DefWindowProcA(hwnd_, msg, wp, lp);
}

// --- Application -----------------------------------------------------------

void setMousePointer(MousePointer pointer)
{
    g_pointer = pointer;
    SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(pointer == MousePointer::Hourglass ? 32514 : 32512)));
}

MousePointer mousePointer() { return g_pointer; }

int runMessageLoop()
{
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        HWND top = GetAncestor(msg.hwnd, GA_ROOT);
        if (isOwnTopLevel(top) && IsDialogMessageA(top, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return int(msg.wParam);
}

void endProgram() { ExitProcess(0); }

} // namespace platform
