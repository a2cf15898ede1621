#include "windows/ReportWindow.h"

#include "scripts/RegScript.h"
#include "system/Locale.h"
#include "system/SafeWrite.h"
#include "windows/Dialogs.h"

namespace {
constexpr int kMargin = 120;
constexpr int kButtonWidth = 1575;
constexpr int kButtonHeight = 495;
} // namespace

void ReportWindow::createControls(const std::string& caption)
{
    static const std::string saveAs = platform::ansiFromUtf8("Save As\xE2\x80\xA6");
    // Fixed pitch, so that the report's columns line up.
    open({caption, 9600, 6600, {"Courier New", 9, true}},
         {
             {txtReport, "", {kMargin, kMargin, 9360, 5760}},
             {cmdAction, reportAction.caption.c_str(), {2880, 6000, kButtonWidth, kButtonHeight}},
             {cmdSaveAs, saveAs.c_str(), {4560, 6000, kButtonWidth, kButtonHeight}},
             {cmdCopy, "Copy", {6240, 6000, kButtonWidth, kButtonHeight}},
             {cmdClose, "Close", {7920, 6000, kButtonWidth, kButtonHeight}},
         });
    cmdSaveAs.onClick = [this] { onSaveAsClick(); };
    cmdCopy.onClick = [this] { platform::copyUnicodeToClipboard(hwnd(), reportText); };
    cmdClose.onClick = [this] { close(); };
    cmdAction.onClick = [this] {
        platform::WaitCursor wait;
        reportText = reportAction.run();
        txtReport.setUnicodeText(reportText);
    };
    if (reportAction.caption.empty()) ShowWindow(cmdAction.hwnd(), SW_HIDE);
}

void ReportWindow::showReport(const std::string& caption, const std::string& text, std::optional<ReportScripts> scripts,
                              Action action)
{
    if (isOpen()) close();
    reportAction = std::move(action);
    createControls(caption);
    reportText = text;
    savedScripts = std::move(scripts);
    EnableWindow(cmdSaveAs.hwnd(), savedScripts ? TRUE : FALSE);
    txtReport.setUnicodeText(text); // its lines end in CR LF, as the edit box wants them
    show();
}

void ReportWindow::onSaveAsClick()
{
    if (!savedScripts) return;
    const std::optional<std::string> path = platform::askScriptSavePath(hwnd(), savedScripts->suggestedName);
    if (!path) return;
    // The safe write, as Write's: never a lost file, never a partial one.
    const std::string unRegPath = scripts::unRegFileNameOf(*path);
    for (const auto& [target, bytes] : {std::pair{*path, savedScripts->registerScript},
                                        std::pair{unRegPath, savedScripts->unRegisterScript}}) {
        const writer::WriteReport report = writer::writeScriptFile(target, bytes, "");
        if (!report.written()) {
            platform::showMessage(hwnd(), "Failed to open: " + platform::ansiFromUtf8(target) + "\r\n" +
                                              platform::ansiFromUtf8(writer::reasonSentence(report)));
            return;
        }
    }
    platform::showMessage(hwnd(), "Written: " + platform::ansiFromUtf8(*path) + "\r\nWritten: " +
                                      platform::ansiFromUtf8(unRegPath));
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
