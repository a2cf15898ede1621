#pragma once
// A window that shows a long text report: resizable, read-only, scrollable,
// with "Copy" and "Close", and a button of the report's own when it has one.
// A message box would cut such a report short.
#include "windows/Toolkit.h"

#include <functional>
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
    // "Save As..." is enabled when there are scripts to save. An action with
    // a caption is a button of the report's own, left of the others: a click
    // shows the text it gives instead (say, the report with a step that is
    // run only on request).
    struct Action {
        std::string caption; // ANSI; none: no such button
        std::function<std::string()> run;
    };
    void showReport(const std::string& caption, const std::string& text,
                    std::optional<ReportScripts> scripts = std::nullopt, Action action = {});

private:
    // Controls, in tab order.
    platform::TextBox txtReport{{true}};
    platform::Button cmdAction;
    platform::Button cmdSaveAs;
    platform::Button cmdCopy;
    platform::Button cmdClose;

    // State.
    std::string reportText;
    Action reportAction; // no caption: no such button
    std::optional<ReportScripts> savedScripts;

    // Handlers.
    void createControls(const std::string& caption);
    void onSaveAsClick();
    void onResize(int widthTwips, int heightTwips) override;
};
