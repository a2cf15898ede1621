#include "windows/Dialogs.h"

#include "platform/Error.h"
#include "platform/Wide.h"
#include "text/Text.h"
#include "windows/Toolkit.h"

#include <commdlg.h>

#include <new>

namespace windows {

namespace {

UINT boxFlags(HWND owner, MsgButtons buttons, MsgIcon icon)
{
    UINT flags = buttons == MsgButtons::YesNo ? MB_YESNO | MB_DEFBUTTON1 : MB_OK;
    if (icon == MsgIcon::Information) flags |= MB_ICONINFORMATION;
    if (icon == MsgIcon::Critical) flags |= MB_ICONSTOP;
    return flags | (owner ? MB_APPLMODAL : MB_TASKMODAL);
}

// The save dialog comes from its library, loaded when a script is first
// saved: loaded with the program, it would bring the printing and shell
// libraries along, several MiB that most runs never use.
using SaveDialog = BOOL(WINAPI*)(LPOPENFILENAMEW);

SaveDialog saveDialog()
{
    static const SaveDialog function = [] {
        const HMODULE library = LoadLibraryW(L"comdlg32.dll"); // a known DLL: from the system folder only
        return library ? reinterpret_cast<SaveDialog>(
                             reinterpret_cast<void*>(GetProcAddress(library, "GetSaveFileNameW")))
                       : nullptr;
    }();
    return function;
}

MsgResult resultOf(int answer)
{
    switch (answer) {
    case IDYES: return MsgResult::Yes;
    case IDNO: return MsgResult::No;
    default: return MsgResult::Ok;
    }
}

} // namespace

MsgResult showMessage(HWND owner, const std::string& prompt, MsgButtons buttons, MsgIcon icon,
                      const std::string& title)
{
    // All of the program's windows wait for the answer, not only the owner:
    // nothing may change what the handler that asks goes on to do.
    ModalScope modal;
    return resultOf(MessageBoxA(owner, prompt.c_str(), title.c_str(), boxFlags(owner, buttons, icon)));
}

MsgResult showExactMessage(HWND owner, const std::string& prompt, MsgButtons buttons, MsgIcon icon,
                           const std::string& title)
{
    ModalScope modal;
    return resultOf(MessageBoxW(owner, platform::wideOf(prompt).c_str(), platform::wideOf(title).c_str(),
                                boxFlags(owner, buttons, icon)));
}

std::optional<std::string> askScriptSavePath(HWND owner, const std::string& suggestedName)
{
    // Wide, so that a folder or name outside the code page is kept exactly.
    std::wstring path = platform::wideOf(suggestedName);
    path.resize(32768, L'\0');
    static constexpr wchar_t kFilter[] = L"Registry scripts (*.reg)\0*.reg\0All files (*.*)\0*.*\0";
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = kFilter;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = DWORD(path.size());
    dialog.lpstrDefExt = L"reg";
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    const SaveDialog askPath = saveDialog();
    if (!askPath) throw platform::AppError(platform::kInternalError, "The save dialog is not available");
    ModalScope modal;
    if (!askPath(&dialog)) return std::nullopt;
    path.resize(path.find(L'\0'));
    return platform::utf8Of(path);
}

void reportFatalError(const std::exception& error)
{
    long number = platform::kInternalError;
    if (const auto* appError = dynamic_cast<const platform::AppError*>(&error)) number = appError->number();
    else if (dynamic_cast<const std::bad_alloc*>(&error)) number = platform::kOutOfMemory;
    const std::string message =
        "Run-time error '" + std::to_string(number) + "':" + text::kCrLf + text::kCrLf + error.what();
    MessageBoxA(nullptr, message.c_str(), kAppTitle, MB_OK | MB_ICONSTOP | MB_TASKMODAL);
    ExitProcess(1);
}

} // namespace windows
