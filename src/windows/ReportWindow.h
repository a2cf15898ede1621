#pragma once
// A window that shows a long text report: resizable, read-only, scrollable,
// with "Copy" and "Close", and a button of the report's own when it has one.
// A message box would cut such a report short.
#include "windows/Toolkit.h"

#include <functional>
#include <string>

class ReportWindow : public platform::Window {
public:
    // Opens the window (or brings it up again) with this caption (ANSI) and
    // text (UTF-8, shown and copied exactly), whose lines end in CR LF.
    void showReport(const std::string& caption, const std::string& text);

    // The same with a button of the report's own, left of "Copy": a click
    // shows the text its action gives instead (say, the report with a step
    // that is run only on request).
    struct Action {
        std::string caption; // ANSI
        std::function<std::string()> run;
    };
    void showReport(const std::string& caption, const std::string& text, Action action);

private:
    // Controls, in tab order.
    platform::TextBox txtReport{{true}};
    platform::Button cmdAction;
    platform::Button cmdCopy;
    platform::Button cmdClose;

    // State.
    std::string reportText;
    Action reportAction; // no caption: no such button

    // Handlers.
    void createControls(const std::string& caption);
    void onResize(int widthTwips, int heightTwips) override;
};
