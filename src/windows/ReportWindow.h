#pragma once
// A window that shows a long text report: resizable, read-only, scrollable,
// with "Copy" and "Close", and a button of the report's own when it has one.
// A message box would cut such a report short. Work that waits on a helper
// process runs on a thread of its own while the window says so and offers
// "Cancel": the window never stops responding.
#include "windows/Toolkit.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>

namespace windows {

// What "Save As..." saves: a register script and its un-register script, as
// their files' bytes, and the name suggested.
struct ReportScripts {
    std::string registerScript;
    std::string unRegisterScript;
    std::string suggestedName;
};

class ReportWindow : public Window {
public:
    // A report: its text (UTF-8, shown and copied exactly, lines ending in
    // CR LF) and the scripts "Save As..." saves, when there are any.
    struct Report {
        std::string text;
        std::optional<ReportScripts> scripts;
    };
    // A button of the report's own, left of the others: a click runs `run`
    // as background work and shows the report it gives instead (say, the
    // report with a step that is run only on request).
    struct Action {
        std::string caption; // ANSI; none: no such button
        std::function<Report()> run;
    };

    // Opens the window (or brings it up again) with this caption (UTF-8,
    // shown exactly) and report. "Save As..." is enabled when there are
    // scripts to save.
    void showReport(const std::string& caption, const Report& report, Action action = {});
    // Opens it with `working` as its text while `run` runs on a thread of
    // its own, then shows the report it gives.
    void showWork(const std::string& caption, const std::string& working, std::function<Report()> run);

    // Work runs: the program takes no second request meanwhile.
    bool busy() const { return work.running(); }

private:
    // Controls, in tab order.
    windows::TextBox txtReport{{true}};
    windows::Button cmdAction;
    windows::Button cmdSaveAs;
    windows::Button cmdCopy;
    windows::Button cmdClose;

    // State.
    std::string reportText;
    Action reportAction; // no caption: no such button
    std::optional<ReportScripts> savedScripts;
    windows::BackgroundWork work;
    std::atomic<bool> cancelRequested{false};
    unsigned shown = 0; // counts the reports opened, so that late work never lands in a later one

    // Handlers and the operations they run.
    void createControls(const std::string& caption);
    void setReport(const Report& report);
    void runWork(const std::string& working, std::function<Report()> run);
    void onActionClick();
    void onCloseClick();
    void onSaveAsClick();
    void onResize(int widthTwips, int heightTwips) override;
};

} // namespace windows
