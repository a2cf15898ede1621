#include "windows/ReportWindow.h"

#include "scripts/RegScript.h"
#include "platform/Ansi.h"
#include "platform/Process.h"
#include "platform/SafeWrite.h"
#include "platform/Wide.h"
#include "text/Text.h"
#include "windows/Dialogs.h"

namespace windows {

namespace {
constexpr int kMargin = 120;
constexpr int kButtonWidth = 1575;
constexpr int kButtonHeight = 495;
constexpr char kCancel[] = "Cancel";
constexpr char kCancelled[] =
    "Cancelled: the helper process was ended before it answered. Nothing it did was kept.";
} // namespace

void ReportWindow::createControls(const std::string& caption)
{
    static const std::string saveAs = platform::ansiFromUtf8("Save As\xE2\x80\xA6");
    // Fixed pitch, so that the report's columns line up.
    open({platform::ansiFromUtf8(caption), 9600, 6600, {"Courier New", 9, true}},
         {
             {txtReport, "", {kMargin, kMargin, 9360, 5760}},
             {cmdAction, reportAction.caption.c_str(), {2880, 6000, kButtonWidth, kButtonHeight}},
             {cmdSaveAs, saveAs.c_str(), {4560, 6000, kButtonWidth, kButtonHeight}},
             {cmdCopy, "Copy", {6240, 6000, kButtonWidth, kButtonHeight}},
             {cmdClose, "Close", {7920, 6000, kButtonWidth, kButtonHeight}},
         });
    // The caption names the class exactly, whatever the code page.
    SetWindowTextW(hwnd(), platform::wideOf(caption).c_str());
    cmdSaveAs.onClick = [this] { onSaveAsClick(); };
    cmdCopy.onClick = [this] { windows::copyUnicodeToClipboard(hwnd(), reportText); };
    cmdClose.onClick = [this] { onCloseClick(); };
    cmdAction.onClick = [this] { onActionClick(); };
    if (reportAction.caption.empty()) ShowWindow(cmdAction.hwnd(), SW_HIDE);
}

void ReportWindow::showReport(const std::string& caption, const Report& report, Action action)
{
    if (isOpen()) close();
    ++shown;
    reportAction = std::move(action);
    createControls(caption);
    setReport(report);
    show();
}

void ReportWindow::showWork(const std::string& caption, const std::string& working, std::function<Report()> run)
{
    showReport(caption, {working, std::nullopt});
    runWork(working, std::move(run));
}

void ReportWindow::setReport(const Report& report)
{
    reportText = report.text;
    savedScripts = report.scripts;
    EnableWindow(cmdSaveAs.hwnd(), savedScripts ? TRUE : FALSE);
    txtReport.setUnicodeText(reportText); // its lines end in CR LF, as the edit box wants them
}

void ReportWindow::runWork(const std::string& working, std::function<Report()> run)
{
    cancelRequested = false;
    setReport({working, std::nullopt});
    // While it runs, the action's place offers Cancel.
    SetWindowTextA(cmdAction.hwnd(), kCancel);
    ShowWindow(cmdAction.hwnd(), SW_SHOW);
    const unsigned report = shown;
    work.start([this, run = std::move(run), report] {
        Report result;
        {
            const platform::ProcessCancelScope cancellable(cancelRequested);
            result = run();
        }
        return windows::BackgroundWork::Done([this, result = std::move(result), report] {
            if (!isOpen() || report != shown) return; // closed, or another report shows
            setReport(cancelRequested ? Report{kCancelled + std::string(text::kCrLf), std::nullopt} : result);
            SetWindowTextA(cmdAction.hwnd(), reportAction.caption.c_str());
            if (reportAction.caption.empty()) ShowWindow(cmdAction.hwnd(), SW_HIDE);
        });
    });
}

void ReportWindow::onActionClick()
{
    if (work.running()) {
        cancelRequested = true; // the helper is ended; the work then comes back
        return;
    }
    if (reportAction.run) runWork(reportText, reportAction.run);
}

void ReportWindow::onCloseClick()
{
    cancelRequested = true; // nothing of a closed report's work is wanted
    close();
}

void ReportWindow::onSaveAsClick()
{
    if (!savedScripts) return;
    const std::optional<std::string> path = windows::askScriptSavePath(hwnd(), savedScripts->suggestedName);
    if (!path) return;
    // The safe write, as Write's: never a lost file, never a partial one.
    const std::string unRegPath = scripts::unRegFileNameOf(*path);
    for (const auto& [target, bytes] : {std::pair{*path, savedScripts->registerScript},
                                        std::pair{unRegPath, savedScripts->unRegisterScript}}) {
        const platform::WriteReport report = platform::writeScriptFile(target, bytes, "");
        if (!report.written()) {
            windows::showExactMessage(hwnd(),
                                       "Failed to open: " + target + text::kCrLf + platform::reasonSentence(report));
            return;
        }
    }
    windows::showExactMessage(hwnd(), "Written: " + *path + text::kCrLf + "Written: " + unRegPath);
}

void ReportWindow::onResize(int widthTwips, int heightTwips)
{
    // The text takes what the buttons leave; the buttons keep to the bottom right.
    const int buttonTop = std::max(kMargin, heightTwips - kMargin - kButtonHeight);
    place(txtReport, {kMargin, kMargin, std::max(0, widthTwips - 2 * kMargin), std::max(0, buttonTop - 2 * kMargin)});
    place(cmdClose, {widthTwips - kMargin - kButtonWidth, buttonTop, kButtonWidth, kButtonHeight});
    place(cmdCopy, {widthTwips - 2 * (kMargin + kButtonWidth), buttonTop, kButtonWidth, kButtonHeight});
    place(cmdSaveAs, {widthTwips - 3 * (kMargin + kButtonWidth), buttonTop, kButtonWidth, kButtonHeight});
    place(cmdAction, {widthTwips - 4 * (kMargin + kButtonWidth), buttonTop, kButtonWidth, kButtonHeight});
}

} // namespace windows
