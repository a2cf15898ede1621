#pragma once
// A window that shows a long text report: resizable, read-only, scrollable,
// with "Copy" and "Close". A message box would cut such a report short.
#include "windows/Toolkit.h"

#include <optional>
#include <string>

// What "Save As..." saves: a register script and its un-register script, as
// their files' bytes, and the name suggested.
struct ReportScripts {
    std::string registerScript;
    std::string unRegisterScript;
    std::string suggestedName;
};

class ReportWindow : public platform::Window {
public:
    // Opens the window (or brings it up again) with this caption (ANSI) and
    // text (UTF-8, shown and copied exactly), whose lines end in CR LF.
    // "Save As..." is enabled when there are scripts to save.
    void showReport(const std::string& caption, const std::string& text,
                    std::optional<ReportScripts> scripts = std::nullopt);

private:
    // Controls, in tab order.
    platform::TextBox txtReport{{true}};
    platform::Button cmdSaveAs;
    platform::Button cmdCopy;
    platform::Button cmdClose;

    // State.
    std::string reportText;
    std::optional<ReportScripts> savedScripts;

    // Handlers.
    void createControls(const std::string& caption);
    void onSaveAsClick();
    void onResize(int widthTwips, int heightTwips) override;
};
