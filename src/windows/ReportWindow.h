#pragma once
// A window that shows a long text report: resizable, read-only, scrollable,
// with "Copy" and "Close". A message box would cut such a report short.
#include "windows/Toolkit.h"

#include <string>

class ReportWindow : public platform::Window {
public:
    // Opens the window (or brings it up again) with this caption (ANSI) and
    // text (UTF-8, shown and copied exactly), whose lines end in CR LF.
    void showReport(const std::string& caption, const std::string& text);

private:
    // Controls, in tab order.
    platform::TextBox txtReport{{true}};
    platform::Button cmdCopy;
    platform::Button cmdClose;

    // State.
    std::string reportText;

    // Handlers.
    void createControls(const std::string& caption);
    void onResize(int widthTwips, int heightTwips) override;
};
