#include "windows/Toolkit.h"

#include "windows/Dialogs.h"
#include "platform/Error.h"
#include "platform/Locale.h"

#include <commctrl.h>

#include <windowsx.h>

#include <cmath>
#include <cstring>
#include <utility>

namespace windows {

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
    platform::ScopedDc screen(nullptr);
    UINT dpi = UINT(GetDeviceCaps(screen.get(), LOGPIXELSY));
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

HFONT createFont(const FontChoice& font, UINT dpi)
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
    const DWORD pitch = font.fixedPitch ? FIXED_PITCH | FF_MODERN : DEFAULT_PITCH | FF_DONTCARE;
    return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, pitch, font.face.c_str());
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

// Shift 1, Ctrl 2, Alt 4, as key events report them.
int shiftState()
{
    return (GetKeyState(VK_SHIFT) < 0 ? 1 : 0) | (GetKeyState(VK_CONTROL) < 0 ? 2 : 0) |
           (GetKeyState(VK_MENU) < 0 ? 4 : 0);
}

bool isOwnTopLevel(HWND hwnd)
{
    char name[64];
    return hwnd && GetClassNameA(hwnd, name, sizeof(name)) && lstrcmpA(name, kWindowClass) == 0;
}

void registerWindowClass(WNDPROC windowProc)
{
    static bool registered = false;
    if (registered) return;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = windowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hIcon = LoadIconA(wc.hInstance, MAKEINTRESOURCEA(1));
    if (!wc.hIcon) wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
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

void Control::setUnicodeWindowText(const std::string& utf8)
{
    if (hwnd_) SetWindowTextW(hwnd_, platform::wideFrom(utf8, platform::Encoding::Utf8).c_str());
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

int ListBox::rowSource(int index) const
{
    const LRESULT source = SendMessageA(hwnd_, LB_GETITEMDATA, WPARAM(index), 0);
    return source == LB_ERR ? -1 : int(source);
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

void ListBox::onContextMenu(std::optional<POINT> at)
{
    if (!onMenu) return;
    POINT point{};
    if (at) {
        point = *at;
    } else {
        // From the keyboard: at the selected row, else at the list's corner.
        RECT row{};
        if (selectedIndex() < 0 ||
            SendMessageA(hwnd_, LB_GETITEMRECT, WPARAM(selectedIndex()), reinterpret_cast<LPARAM>(&row)) == LB_ERR)
            row = RECT{};
        point = {row.left + 8, row.bottom};
        ClientToScreen(hwnd_, &point);
    }
    onMenu(point);
}

void ListBox::onKey(int keyCode)
{
    if (onKeyDown) onKeyDown(keyCode, shiftState());
}

void ListBox::setRows(std::vector<std::string> rows)
{
    // Sorted here once, then appended in that order: the box keeps its sort
    // style for later rows but does no search per row, reserves its storage
    // up front and draws once at the end. Each row is converted once, to the
    // UTF-16 the box stores and sorts; a text is let go as soon as the next
    // form of it is made, so that a long list is not held three times over.
    std::vector<std::wstring> texts;
    texts.reserve(rows.size());
    size_t units = 0;
    for (std::string& row : rows) {
        texts.push_back(platform::wideFrom(row, platform::Encoding::Ansi));
        units += texts.back().size() + 1;
        std::string().swap(row);
    }
    std::vector<std::string>().swap(rows);
    const std::vector<size_t> order = platform::listOrder(texts);
    SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0);
    SendMessageW(hwnd_, LB_INITSTORAGE, WPARAM(texts.size()), LPARAM(units * sizeof(wchar_t)));
    for (size_t i : order) {
        const LRESULT row =
            SendMessageW(hwnd_, LB_INSERTSTRING, WPARAM(-1), reinterpret_cast<LPARAM>(texts[i].c_str()));
        if (row >= 0) SendMessageW(hwnd_, LB_SETITEMDATA, WPARAM(row), LPARAM(i));
        std::wstring().swap(texts[i]);
    }
    SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

// --- Label -----------------------------------------------------------------

HBRUSH Label::colors(HDC dc) const
{
    if (!options_.infoBackground) return nullptr;
    SetBkColor(dc, GetSysColor(COLOR_INFOBK));
    SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
    return GetSysColorBrush(COLOR_INFOBK);
}

Control::NativeStyle Label::nativeStyle() const
{
    DWORD style = SS_NOPREFIX | (options_.align == Align::Right ? SS_RIGHT : SS_LEFT);
    if (options_.border) style |= WS_BORDER;
    return {"STATIC", style, 0};
}

// --- TextBox ---------------------------------------------------------------

Control::NativeStyle TextBox::nativeStyle() const
{
    DWORD style = WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
    if (options_.multiLine) style |= ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_HSCROLL;
    return {"EDIT", style, WS_EX_CLIENTEDGE};
}

void TextBox::afterCreate() { SetWindowSubclass(hwnd_, subclassProc, 1, reinterpret_cast<DWORD_PTR>(this)); }

LRESULT CALLBACK TextBox::subclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data)
{
    if (msg == WM_KEYUP) {
        auto* self = reinterpret_cast<TextBox*>(data);
        if (self->onKeyUp) {
            guarded([&] { self->onKeyUp(int(wp), shiftState()); });
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

void TextBox::setUnicodeText(const std::string& utf8)
{
    unsigned before = changeCount_;
    setUnicodeWindowText(utf8);
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
}

void Window::open(const WindowLayout& layout, std::initializer_list<ControlRow> controls)
{
    registerWindowClass(windowProc);
    layout_ = layout;
    controls_.clear();

    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_CONTROLPARENT;
    UINT dpi = screenDpi();
    RECT rc = windowRectForClient(twipsToPixels(layout.clientWidth, dpi), twipsToPixels(layout.clientHeight, dpi), style,
                                  exStyle, dpi);
    if (!CreateWindowExA(exStyle, kWindowClass, layout.caption.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                         rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr, GetModuleHandleA(nullptr), this))
        throw platform::AppError(long(GetLastError()), "The window could not be created");
    ++g_openWindows;

    int id = 100;
    for (const ControlRow& row : controls) {
        Control& c = row.control;
        Control::NativeStyle ns = c.nativeStyle();
        c.rect_ = row.rect;
        c.hwnd_ = CreateWindowExA(ns.exStyle, ns.className, row.text, WS_CHILD | WS_VISIBLE | ns.style, 0, 0, 0, 0,
                                  hwnd_, reinterpret_cast<HMENU>(INT_PTR(id++)), GetModuleHandleA(nullptr), nullptr);
        if (!c.hwnd_) throw platform::AppError(long(GetLastError()), "A control could not be created");
        SetWindowLongPtrA(c.hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&c));
        c.afterCreate();
        controls_.push_back(&c);
    }
    applyDpi(dpiForWindow(hwnd_));
}

void Window::applyDpi(UINT dpi)
{
    // The old font goes only once no control uses it any more.
    platform::UniqueHfont font(createFont(layout_.font, dpi));
    for (Control* c : controls_) {
        const TwipRect& r = c->rect_;
        SetWindowPos(c->hwnd_, nullptr, twipsToPixels(r.left, dpi), twipsToPixels(r.top, dpi),
                     twipsToPixels(r.width, dpi), twipsToPixels(r.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageA(c->hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    }
    font_ = std::move(font);
}

void Window::place(Control& control, const TwipRect& rect)
{
    control.rect_ = rect;
    const UINT dpi = dpiForWindow(hwnd_);
    SetWindowPos(control.hwnd_, nullptr, twipsToPixels(rect.left, dpi), twipsToPixels(rect.top, dpi),
                 twipsToPixels(rect.width, dpi), twipsToPixels(rect.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
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
    if (msg == WM_NCCREATE) {
        // The window object comes with the creation; from here on every
        // message goes to it.
        auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
    return self->handleMessage(msg, wp, lp);
}

std::optional<LRESULT> Window::routeToControl(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_COMMAND:
        if (Control* c = controlOf(reinterpret_cast<HWND>(lp)); c && lp) {
            guarded([&] { c->onCommand(HIWORD(wp)); });
            return 0;
        }
        break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
        // Each control picks its own colours; nullptr keeps the system's.
        if (Control* c = controlOf(reinterpret_cast<HWND>(lp))) {
            if (HBRUSH brush = c->colors(reinterpret_cast<HDC>(wp))) return reinterpret_cast<LRESULT>(brush);
        }
        break;
    case WM_CONTEXTMENU:
        if (Control* c = controlOf(reinterpret_cast<HWND>(wp)); c && IsChild(hwnd_, c->hwnd_)) {
            std::optional<POINT> at;
            if (lp != -1) at = POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
            guarded([&] { c->onContextMenu(at); });
            return 0;
        }
        break;
    default:
        break;
    }
    return std::nullopt;
}

void Window::focusAControl()
{
    // The focus goes back to a control, never to the bare window.
    HWND focus = GetFocus();
    if (!focus || !IsChild(hwnd_, focus)) {
        if (HWND first = GetNextDlgTabItem(hwnd_, nullptr, FALSE)) SetFocus(first);
    }
}

LRESULT Window::handleMessage(UINT msg, WPARAM wp, LPARAM lp)
{
    if (std::optional<LRESULT> handled = routeToControl(msg, wp, lp)) return *handled;
    switch (msg) {
    case WM_SIZE:
        if (wp != SIZE_MINIMIZED) {
            const UINT dpi = dpiForWindow(hwnd_);
            guarded([&] { onResize(MulDiv(LOWORD(lp), 1440, int(dpi)), MulDiv(HIWORD(lp), 1440, int(dpi))); });
        }
        break;
    case WM_SETCURSOR:
        if (g_pointer == MousePointer::Hourglass) {
            SetCursor(LoadCursorA(nullptr, IDC_WAIT));
            return TRUE;
        }
        break;
    case WM_ACTIVATE:
        if (LOWORD(wp) == WA_INACTIVE) break;
        focusAControl();
        return 0;
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
        HWND destroyed = std::exchange(hwnd_, nullptr);
        font_.reset();
        SetWindowLongPtrA(destroyed, GWLP_USERDATA, 0);
        if (--g_openWindows == 0) PostQuitMessage(0);
        return DefWindowProcA(destroyed, msg, wp, lp);
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
    SetCursor(LoadCursorA(nullptr, pointer == MousePointer::Hourglass ? IDC_WAIT : IDC_ARROW));
}

MousePointer mousePointer() { return g_pointer; }

ModalScope::ModalScope() : active_(GetActiveWindow())
{
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM param) {
            if (isOwnTopLevel(hwnd) && IsWindowEnabled(hwnd)) {
                EnableWindow(hwnd, FALSE);
                reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&disabled_));
}

ModalScope::~ModalScope()
{
    for (HWND hwnd : disabled_)
        if (IsWindow(hwnd)) EnableWindow(hwnd, TRUE);
    if (active_ && IsWindow(active_)) SetActiveWindow(active_);
}

std::optional<size_t> showPopupMenu(HWND owner, POINT screenPoint, const std::vector<MenuEntry>& entries)
{
    HMENU menu = CreatePopupMenu();
    if (!menu) return std::nullopt;
    for (size_t i = 0; i < entries.size(); ++i)
        AppendMenuA(menu, MF_STRING | (entries[i].enabled ? MF_ENABLED : MF_GRAYED), UINT_PTR(i + 1),
                    entries[i].caption.c_str());
    const int chosen = int(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN,
                                          screenPoint.x, screenPoint.y, 0, owner, nullptr));
    DestroyMenu(menu);
    if (chosen <= 0) return std::nullopt;
    return size_t(chosen - 1);
}

bool copyToClipboard(HWND owner, const std::string& text)
{
    if (!OpenClipboard(owner)) return false;
    bool copied = false;
    if (EmptyClipboard()) {
        if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1)) {
            if (void* bytes = GlobalLock(memory)) {
                memcpy(bytes, text.c_str(), text.size() + 1);
                GlobalUnlock(memory);
                copied = SetClipboardData(CF_TEXT, memory) != nullptr;
            }
            if (!copied) GlobalFree(memory); // the clipboard owns it only once it took it
        }
    }
    CloseClipboard();
    return copied;
}

bool copyUnicodeToClipboard(HWND owner, const std::string& utf8)
{
    const std::wstring text = platform::wideFrom(utf8, platform::Encoding::Utf8);
    if (!OpenClipboard(owner)) return false;
    bool copied = false;
    if (EmptyClipboard()) {
        const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
            if (void* target = GlobalLock(memory)) {
                memcpy(target, text.c_str(), bytes);
                GlobalUnlock(memory);
                copied = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
            }
            if (!copied) GlobalFree(memory); // the clipboard owns it only once it took it
        }
    }
    CloseClipboard();
    return copied;
}

void Window::keyDown(HWND target, WPARAM keyCode)
{
    for (Control* c : controls_)
        if (c->hwnd_ == target) guarded([&] { c->onKey(int(keyCode)); });
}

namespace {
constexpr UINT kWorkDone = WM_APP + 1;
constexpr wchar_t kWorkClass[] = L"AddInRegBackgroundWork";
} // namespace

BackgroundWork::BackgroundWork()
{
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = messageProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kWorkClass;
        return RegisterClassExW(&wc) != 0;
    }();
    if (registered)
        messages_ = CreateWindowExW(0, kWorkClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                                    nullptr);
    if (messages_) SetWindowLongPtrW(messages_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

BackgroundWork::~BackgroundWork()
{
    if (thread_.joinable()) thread_.join();
    if (messages_) DestroyWindow(messages_);
}

bool BackgroundWork::start(std::function<Done()> work)
{
    if (running_ || !messages_) return false;
    if (thread_.joinable()) thread_.join();
    running_ = true;
    thread_ = std::thread([this, work = std::move(work)] {
        done_ = work();
        PostMessageW(messages_, kWorkDone, 0, 0);
    });
    return true;
}

void BackgroundWork::finish()
{
    thread_.join(); // after it, done_ is the work's
    running_ = false;
    // What it runs may start the next piece of work.
    const Done done = std::move(done_);
    if (done) done();
}

LRESULT CALLBACK BackgroundWork::messageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == kWorkDone) {
        if (auto* work = reinterpret_cast<BackgroundWork*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))) work->finish();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

int runMessageLoop()
{
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        HWND top = GetAncestor(msg.hwnd, GA_ROOT);
        if (isOwnTopLevel(top)) {
            // Keys reach a control's handler from here rather than through a
            // subclass, which would cost every message the control gets.
            if (msg.message == WM_KEYDOWN) {
                if (auto* window = reinterpret_cast<Window*>(GetWindowLongPtrA(top, GWLP_USERDATA)))
                    window->keyDown(msg.hwnd, msg.wParam);
            }
            if (IsDialogMessageA(top, &msg)) continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return int(msg.wParam);
}

void endProgram() { ExitProcess(0); }

} // namespace windows
