#pragma once
// A thin layer over the Win32 window toolkit: a top-level window, the five
// kinds of control the program uses, the application-wide mouse pointer and
// the message loop.
//
// Geometry is given in twips (1440 to the inch) from the top-left corner of
// the client area and turned into pixels with the window's actual DPI.
//
// Event semantics the windows rely on: a list box's click callback also runs
// when the program sets the selection, and a text box's change callback also
// runs when the program sets the text. Both run at once, nested inside the
// call that set the value.
#include "platform/Handle.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace windows {

struct TwipRect {
    int left, top, width, height;
};

inline int twipsToPixels(int twips, UINT dpi) { return MulDiv(twips, int(dpi), 1440); }

// A font by face name and size in points. An empty face means the toolkit's
// default font: the system's message font at the window's DPI.
struct FontChoice {
    std::string face;
    double points = 0;
    bool fixedPitch = false; // where the face is missing, take another of fixed pitch
};

class Window;

class Control {
public:
    Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control() = default;

    HWND hwnd() const { return hwnd_; }

protected:
    struct NativeStyle {
        const char* className;
        DWORD style;
        DWORD exStyle;
    };
    virtual NativeStyle nativeStyle() const = 0;
    virtual void onCommand(WORD /*code*/) {}
    virtual void afterCreate() {}
    // Sets the colours the control is drawn in; nullptr keeps the system's.
    virtual HBRUSH colors(HDC /*dc*/) const { return nullptr; }
    // A context menu is asked for on this control: at a screen point, or
    // from the keyboard (Shift+F10, the menu key) without one.
    virtual void onContextMenu(std::optional<POINT> /*at*/) {}
    // A key went down while the control had the focus.
    virtual void onKey(int /*keyCode*/) {}

    std::string windowText() const;
    void setWindowText(const std::string& text);
    void setUnicodeWindowText(const std::string& utf8);

    HWND hwnd_ = nullptr;

private:
    friend class Window;
    TwipRect rect_{};
};

class ListBox : public Control {
public:
    std::function<void()> onClick;
    std::function<void(POINT screenPoint)> onMenu; // a context menu, where it should open
    std::function<void(int keyCode, int shift)> onKeyDown;

    int count() const;
    std::string itemText(int index) const;
    int selectedIndex() const; // -1 when no row is selected
    std::string selectedText() const;
    // Selects a row (-1: none) and runs onClick, as a user's click does.
    void setSelectedIndex(int index);
    // Replaces every row: the same rows in the same order as adding each to
    // the sorted box, in one go. Each row remembers its index in `rows`.
    void setRows(std::vector<std::string> rows);
    // The index in the rows given to setRows of the row at `index`; -1 for none.
    int rowSource(int index) const;

protected:
    NativeStyle nativeStyle() const override;
    void onCommand(WORD code) override;
    void onContextMenu(std::optional<POINT> at) override;
    void onKey(int keyCode) override;
};

class Label : public Control {
public:
    enum class Align { Left, Right };
    struct Options {
        Align align = Align::Left;
        bool border = false;
        bool infoBackground = false; // the tooltip background colour
    };
    Label() = default;
    explicit Label(Options options) : options_(options) {}

    std::string caption() const { return windowText(); }
    void setCaption(const std::string& text) { setWindowText(text); }

protected:
    NativeStyle nativeStyle() const override;
    HBRUSH colors(HDC dc) const override;

private:
    Options options_;
};

class TextBox : public Control {
public:
    struct Options {
        bool multiLine = false; // several lines, scroll bars, read-only
    };
    TextBox() = default;
    explicit TextBox(Options options) : options_(options) {}

    std::function<void()> onChange;
    std::function<void(int keyCode, int shift)> onKeyUp;

    std::string text() const { return windowText(); }
    void setText(const std::string& text); // runs onChange
    // The text from UTF-8, every character as it is, whatever the ANSI code page holds.
    void setUnicodeText(const std::string& utf8);

protected:
    NativeStyle nativeStyle() const override;
    void onCommand(WORD code) override;
    void afterCreate() override;

private:
    static LRESULT CALLBACK subclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    Options options_;
    unsigned changeCount_ = 0;
};

class CheckBox : public Control {
public:
    std::function<void()> onClick;

    bool isChecked() const;
    void setChecked(bool checked);

protected:
    NativeStyle nativeStyle() const override;
    void onCommand(WORD code) override;
};

class Button : public Control {
public:
    std::function<void()> onClick;

protected:
    NativeStyle nativeStyle() const override;
    void onCommand(WORD code) override;
};

// One row of a window's control table: the control, its caption or initial
// text and its place. The table's order is the tab order.
struct ControlRow {
    Control& control;
    const char* text;
    TwipRect rect;
};

struct WindowLayout {
    std::string caption;
    int clientWidth;  // twips
    int clientHeight; // twips
    FontChoice font;
};

// A top-level window. Closing it destroys its controls; the object stays and
// can be opened again with fresh controls.
class Window {
public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    HWND hwnd() const { return hwnd_; }
    bool isOpen() const { return hwnd_ != nullptr; }

    void show();
    void close();
    // The message loop hands over a key that went down in one of the window's
    // controls.
    void keyDown(HWND target, WPARAM keyCode);

protected:
    // Called when the client area changes size, in twips.
    virtual void onResize(int /*widthTwips*/, int /*heightTwips*/) {}
    // Moves a control of this window to a new place.
    void place(Control& control, const TwipRect& rect);

    // Creates the window hidden, at the system's default place, with the
    // controls of the table in their tab order and given initial texts.
    void open(const WindowLayout& layout, std::initializer_list<ControlRow> controls);

private:
    static LRESULT CALLBACK windowProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT handleMessage(UINT msg, WPARAM wp, LPARAM lp);
    std::optional<LRESULT> routeToControl(UINT msg, WPARAM wp, LPARAM lp);
    void focusAControl();
    void applyDpi(UINT dpi);

    HWND hwnd_ = nullptr;
    WindowLayout layout_{};
    std::vector<Control*> controls_;
    platform::UniqueHfont font_;
};

// A popup menu at a screen point, modal until an entry is chosen or the
// menu is dismissed. Returns the chosen entry's index, or nothing.
struct MenuEntry {
    std::string caption;
    bool enabled = true;
};
std::optional<size_t> showPopupMenu(HWND owner, POINT screenPoint, const std::vector<MenuEntry>& entries);

// Puts the text on the clipboard. Returns whether it is there.
bool copyToClipboard(HWND owner, const std::string& text);
// UTF-8 text onto the clipboard as Unicode text, every character as it is.
bool copyUnicodeToClipboard(HWND owner, const std::string& utf8);

// The application-wide mouse pointer.
enum class MousePointer { Default, Hourglass };
void setMousePointer(MousePointer pointer);
MousePointer mousePointer();

// The hourglass for as long as it lives; the default pointer afterwards.
class WaitCursor {
public:
    WaitCursor() { setMousePointer(MousePointer::Hourglass); }
    ~WaitCursor() { setMousePointer(MousePointer::Default); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// While it lives, every window of the program is disabled, as behind a modal
// message box: nothing in them can be clicked or closed. Afterwards the
// windows it disabled are enabled again and the window that was active is
// active again.
class ModalScope {
public:
    ModalScope();
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

private:
    std::vector<HWND> disabled_;
    HWND active_ = nullptr;
};

// Work that runs on a thread of its own while the window thread goes on
// handling messages; its result comes back on the window thread. One piece
// of work at a time.
class BackgroundWork {
public:
    BackgroundWork();
    ~BackgroundWork(); // waits for the work that runs
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;

    bool running() const { return running_; }
    // Starts `work` on its thread; what it returns is then run on this
    // thread, from the message loop. Nothing starts while other work runs
    // (returns false).
    using Done = std::function<void()>;
    bool start(std::function<Done()> work);

private:
    static LRESULT CALLBACK messageProc(HWND, UINT, WPARAM, LPARAM);
    void finish();

    HWND messages_ = nullptr; // a message-only window: the result's way back
    std::thread thread_;
    Done done_; // set by the work's thread before it posts
    bool running_ = false;
};

// Runs the message loop until no window of the program is open.
int runMessageLoop();

// Ends the program at once: no window closes through its handlers, nothing
// more runs.
[[noreturn]] void endProgram();

} // namespace windows
