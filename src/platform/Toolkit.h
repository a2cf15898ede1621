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
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace platform {

struct TwipRect {
    int left, top, width, height;
};

inline int twipsToPixels(int twips, UINT dpi) { return MulDiv(twips, int(dpi), 1440); }

// A font by face name and size in points. An empty face means the toolkit's
// default font: the system's message font at the window's DPI.
struct FontSpec {
    std::string face;
    double points = 0;
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

    std::string windowText() const;
    void setWindowText(const std::string& text);

    HWND hwnd_ = nullptr;

private:
    friend class Window;
    TwipRect rect_{};
};

class ListBox : public Control {
public:
    std::function<void()> onClick;

    int count() const;
    std::string itemText(int index) const;
    int selectedIndex() const; // -1 when no row is selected
    std::string selectedText() const;
    // Selects a row (-1: none) and runs onClick, as a user's click does.
    void setSelectedIndex(int index);
    void clear();
    void addItem(const std::string& text); // takes its sorted place

protected:
    NativeStyle nativeStyle() const override;
    void onCommand(WORD code) override;
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
    bool hasInfoBackground() const { return options_.infoBackground; }

protected:
    NativeStyle nativeStyle() const override;

private:
    Options options_;
};

class TextBox : public Control {
public:
    std::function<void()> onChange;
    std::function<void(int keyCode, int shift)> onKeyUp;

    std::string text() const { return windowText(); }
    void setText(const std::string& text); // runs onChange

protected:
    NativeStyle nativeStyle() const override;
    void onCommand(WORD code) override;
    void afterCreate() override;

private:
    static LRESULT CALLBACK subclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
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
    FontSpec font;
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

protected:
    // Creates the window hidden, at the system's default place, with the
    // controls of the table in their tab order and given initial texts.
    void open(const WindowLayout& layout, std::initializer_list<ControlRow> controls);

private:
    static LRESULT CALLBACK windowProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT handleMessage(UINT msg, WPARAM wp, LPARAM lp);
    void applyDpi(UINT dpi);

    HWND hwnd_ = nullptr;
    WindowLayout layout_{};
    std::vector<Control*> controls_;
    HFONT font_ = nullptr;
};

// The application-wide mouse pointer.
enum class MousePointer { Default = 0, Hourglass = 11 };
void setMousePointer(MousePointer pointer);
MousePointer mousePointer();

// Runs the message loop until no window of the program is open.
int runMessageLoop();

// Ends the program at once: no window closes through its handlers, nothing
// more runs.
[[noreturn]] void endProgram();

} // namespace platform
