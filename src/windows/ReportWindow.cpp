#include "windows/ReportWindow.h"

namespace {
constexpr int kMargin = 120;
constexpr int kButtonWidth = 1575;
constexpr int kButtonHeight = 495;
} // namespace

void ReportWindow::createControls(const std::string& caption)
{
    // Fixed pitch, so that the report's columns line up.
    open({caption, 9600, 6600, {"Courier New", 9, true}},
         {
             {txtReport, "", {kMargin, kMargin, 9360, 5760}},
             {cmdAction, reportAction.caption.c_str(), {4560, 6000, kButtonWidth, kButtonHeight}},
             {cmdCopy, "Copy", {6240, 6000, kButtonWidth, kButtonHeight}},
             {cmdClose, "Close", {7920, 6000, kButtonWidth, kButtonHeight}},
         });
    cmdCopy.onClick = [this] { platform::copyUnicodeToClipboard(hwnd(), reportText); };
    cmdClose.onClick = [this] { close(); };
    cmdAction.onClick = [this] {
        platform::WaitCursor wait;
        reportText = reportAction.run();
        txtReport.setUnicodeText(reportText);
    };
    if (reportAction.caption.empty()) ShowWindow(cmdAction.hwnd(), SW_HIDE);
}

void ReportWindow::showReport(const std::string& caption, const std::string& text)
{
    showReport(caption, text, {});
}

void ReportWindow::showReport(const std::string& caption, const std::string& text, Action action)
{
    if (isOpen()) close();
    reportAction = std::move(action);
    createControls(caption);
    reportText = text;
    txtReport.setUnicodeText(text); // its lines end in CR LF, as the edit box wants them
    show();
}

void ReportWindow::onResize(int widthTwips, int heightTwips)
{
    // The text takes what the buttons leave; the buttons keep to the bottom right.
    const int buttonTop = std::max(kMargin, heightTwips - kMargin - kButtonHeight);
    place(txtReport, {kMargin, kMargin, std::max(0, widthTwips - 2 * kMargin), std::max(0, buttonTop - 2 * kMargin)});
    place(cmdClose, {widthTwips - kMargin - kButtonWidth, buttonTop, kButtonWidth, kButtonHeight});
    place(cmdCopy, {widthTwips - 2 * (kMargin + kButtonWidth), buttonTop, kButtonWidth, kButtonHeight});
    place(cmdAction, {widthTwips - 3 * (kMargin + kButtonWidth), buttonTop, kButtonWidth, kButtonHeight});
}
