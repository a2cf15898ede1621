#include "Ui.h"

#include "ChildProcess.h"
#include "platform/Ansi.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <utility>

namespace testing_support {

std::string windowText(HWND hwnd)
{
    // WM_GETTEXT, unlike GetWindowText, reads controls of other processes too.
    LRESULT length = SendMessageA(hwnd, WM_GETTEXTLENGTH, 0, 0);
    std::string text(size_t(length) + 1, '\0');
    LRESULT copied = SendMessageA(hwnd, WM_GETTEXT, WPARAM(text.size()), reinterpret_cast<LPARAM>(text.data()));
    text.resize(size_t(copied));
    return text;
}

std::string className(HWND hwnd)
{
    char name[128] = {};
    GetClassNameA(hwnd, name, sizeof(name));
    return name;
}

std::vector<HWND> childrenOf(HWND parent)
{
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

HWND findTopLevel(DWORD pid, const std::string& caption)
{
    struct Search {
        DWORD pid;
        const std::string* caption;
        HWND found;
    } search{pid, &caption, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (owner == s->pid && windowText(hwnd) == *s->caption) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void pumpMessages(int ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(10);
    } while (std::chrono::steady_clock::now() < end);
}

HWND waitFor(const std::function<HWND()>& probe, int timeoutMs)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (HWND found = probe()) return found;
        if (std::chrono::steady_clock::now() >= end) return nullptr;
        pumpMessages(50);
    }
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    return waitFor([&] { return condition() ? HWND(1) : HWND(nullptr); }, timeoutMs) != nullptr;
}

int listCount(HWND list) { return int(SendMessageA(list, LB_GETCOUNT, 0, 0)); }

std::string listText(HWND list, int row)
{
    // Asked for in UTF-16 and converted here: Wine hands another process's
    // LB_GETTEXT back in UTF-16 even to SendMessageA, twice the bytes the
    // ANSI buffer was sized for.
    LRESULT length = SendMessageW(list, LB_GETTEXTLEN, WPARAM(row), 0);
    if (length == LB_ERR) return {};
    std::wstring wide(size_t(length) + 1, L'\0');
    LRESULT copied = SendMessageW(list, LB_GETTEXT, WPARAM(row), reinterpret_cast<LPARAM>(wide.data()));
    if (copied == LB_ERR || copied <= 0) return {};
    wide.resize(std::min(size_t(copied), size_t(length)));
    return platform::ansiFromWide(wide);
}

std::vector<std::string> listItems(HWND list)
{
    std::vector<std::string> items;
    int count = listCount(list);
    for (int row = 0; row < count; ++row) items.push_back(listText(list, row));
    return items;
}

int listSelection(HWND list) { return int(SendMessageA(list, LB_GETCURSEL, 0, 0)); }

void clickListRow(HWND list, int row)
{
    SendMessageA(list, LB_SETTOPINDEX, WPARAM(row), 0);
    int top = int(SendMessageA(list, LB_GETTOPINDEX, 0, 0));
    int height = int(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
    LPARAM at = MAKELPARAM(5, (row - top) * height + height / 2);
    PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(list, WM_LBUTTONUP, 0, at);
}

void pressKey(HWND target, int virtualKey)
{
    UINT scan = MapVirtualKeyA(UINT(virtualKey), MAPVK_VK_TO_VSC);
    PostMessageA(target, WM_KEYDOWN, WPARAM(virtualKey), LPARAM(1 | (scan << 16)));
    PostMessageA(target, WM_KEYUP, WPARAM(virtualKey), LPARAM(1 | (scan << 16) | (1u << 30) | (1u << 31)));
}

void typeText(HWND edit, const std::string& text)
{
    for (unsigned char c : text) PostMessageA(edit, WM_CHAR, WPARAM(c), 1);
}

void clearText(HWND edit) { SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("")); }

void clickButton(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }

bool isChecked(HWND checkBox) { return SendMessageA(checkBox, BM_GETCHECK, 0, 0) == BST_CHECKED; }

std::optional<SeenMessageBox> findMessageBox(DWORD pid)
{
    struct Search {
        DWORD pid;
        HWND found;
    } search{pid, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (owner == s->pid && IsWindowVisible(hwnd) && className(hwnd) == "#32770") {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (!search.found) return std::nullopt;

    SeenMessageBox box;
    box.hwnd = search.found;
    box.title = windowText(search.found);
    for (HWND child : childrenOf(search.found)) {
        std::string cls = className(child);
        LONG style = LONG(GetWindowLongPtrA(child, GWL_STYLE));
        if (!IsWindowVisible(child)) continue;
        if (cls == "Button") {
            box.buttons.push_back(windowText(child));
        } else if (cls == "Static") {
            if ((style & SS_TYPEMASK) == SS_ICON) {
                if (SendMessageA(child, STM_GETICON, 0, 0)) {
                    box.hasIcon = true;
                    box.iconControl = child;
                }
            } else if (box.text.empty()) {
                box.text = windowText(child);
            }
        }
    }
    return box;
}

std::optional<SeenMessageBox> waitForMessageBox(DWORD pid, int timeoutMs)
{
    std::optional<SeenMessageBox> box;
    waitUntil([&] { return (box = findMessageBox(pid)).has_value(); }, timeoutMs);
    return box;
}

namespace {

// A 32-bit top-down bitmap to draw into and read back.
class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height)
    {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        if (bitmap_) old_ = SelectObject(dc_, bitmap_);
    }
    ~Canvas()
    {
        if (old_) SelectObject(dc_, old_);
        if (bitmap_) DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool valid() const { return bits_ != nullptr; }
    HDC dc() const { return dc_; }
    std::uint32_t pixel(int x, int y) const
    {
        GdiFlush();
        return static_cast<const std::uint32_t*>(bits_)[size_t(y) * size_t(width_) + size_t(x)] & 0xFFFFFFu;
    }
    void fill(std::uint32_t rgb)
    {
        GdiFlush();
        auto* p = static_cast<std::uint32_t*>(bits_);
        for (size_t i = 0; i < size_t(width_) * size_t(height_); ++i) p[i] = rgb;
    }

private:
    int width_, height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    void* bits_ = nullptr;
};

// Mean difference per colour channel between a w x h area of two canvases,
// the first read from (dx, dy).
double meanDifference(const Canvas& a, int dx, int dy, const Canvas& b, int w, int h)
{
    double sum = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::uint32_t p = a.pixel(x + dx, y + dy), q = b.pixel(x, y);
            for (int shift = 0; shift < 24; shift += 8)
                sum += std::abs(int((p >> shift) & 0xFF) - int((q >> shift) & 0xFF));
        }
    }
    return sum / (3.0 * w * h);
}

} // namespace

std::string standardIconOf(const SeenMessageBox& box)
{
    if (!box.iconControl) return {};
    RECT client{};
    if (!GetClientRect(box.iconControl, &client)) return {};
    const int w = client.right, h = client.bottom;
    if (w <= 0 || h <= 0) return {};
    POINT origin{0, 0};
    ClientToScreen(box.iconControl, &origin);

    // What the screen shows, with a one-pixel margin of the box's background.
    Canvas shown(w + 2, h + 2);
    if (!shown.valid()) return {};
    HDC screen = GetDC(nullptr);
    BOOL copied = BitBlt(shown.dc(), 0, 0, w + 2, h + 2, screen, origin.x - 1, origin.y - 1, SRCCOPY);
    ReleaseDC(nullptr, screen);
    if (!copied) return {};
    const std::uint32_t background = shown.pixel(0, 0);

    // Each standard icon drawn as a static control draws it: stretched over
    // its client area, on the background.
    static const std::pair<const char*, WORD> candidates[] = {
        {"information", 32516}, {"warning", 32515}, {"error", 32513}, {"question", 32514}};
    std::string best;
    double bestDifference = std::numeric_limits<double>::max();
    for (const auto& [name, id] : candidates) {
        Canvas drawn(w, h);
        if (!drawn.valid()) return {};
        drawn.fill(background);
        DrawIconEx(drawn.dc(), 0, 0, LoadIconA(nullptr, MAKEINTRESOURCEA(id)), w, h, 0, nullptr, DI_NORMAL);
        double difference = meanDifference(shown, 1, 1, drawn, w, h);
        if (difference < bestDifference) {
            bestDifference = difference;
            best = name;
        }
    }
    // Only a close likeness counts: the screen may show something else.
    return bestDifference < 8.0 ? best : std::string();
}

void answerMessageBox(const SeenMessageBox& box, int buttonId)
{
    HWND button = GetDlgItem(box.hwnd, buttonId);
    if (button) PostMessageA(button, BM_CLICK, 0, 0);
    else PostMessageA(box.hwnd, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), 0);
}

MessageBoxAnswerer::MessageBoxAnswerer(Chooser choose) : choose_(std::move(choose)), thread_([this] { run(); }) {}

MessageBoxAnswerer::~MessageBoxAnswerer()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    thread_.join();
}

void MessageBoxAnswerer::run()
{
    HWND answered = nullptr;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stop_) return;
        }
        std::optional<SeenMessageBox> box = findMessageBox(GetCurrentProcessId());
        if (box && box->hwnd != answered && !box->text.empty()) {
            answered = box->hwnd;
            int id = choose_(*box);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                seen_.push_back(*box);
            }
            answerMessageBox(*box, id);
        }
        Sleep(30);
    }
}

std::vector<SeenMessageBox> MessageBoxAnswerer::seen() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
}

void MessageBoxAnswerer::forget()
{
    std::lock_guard<std::mutex> lock(mutex_);
    seen_.clear();
}

std::string buildFolder()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

AppProcess::AppProcess(const std::string& workingDirectory)
    : child_(Child::start(utf8Of(wideOf(buildFolder())) + "AddInReg.exe", {}, {workingDirectory, false, false}))
{
}

AppProcess::~AppProcess()
{
    if (child_) child_->terminate();
}

HWND AppProcess::waitForWindow(const std::string& caption, int timeoutMs) const
{
    return waitFor(
        [&]() -> HWND {
            HWND hwnd = findTopLevel(pid(), caption);
            return hwnd && IsWindowVisible(hwnd) ? hwnd : nullptr;
        },
        timeoutMs);
}

bool AppProcess::waitForExit(int timeoutMs)
{
    return child_ && child_->wait(timeoutMs);
}

DWORD AppProcess::exitCode() const { return child_ ? DWORD(child_->exitCode()) : STILL_ACTIVE; }

bool AppProcess::isRunning() const { return child_ && child_->running(); }

} // namespace testing_support
