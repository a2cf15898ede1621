#pragma once
// Modal message boxes, and the report of an error that no handler took.
#include <windows.h>

#include <exception>
#include <optional>
#include <string>

namespace windows {

// The title of every message box that names none of its own.
inline constexpr char kAppTitle[] = "AddInReg";

enum class MsgButtons { Ok, YesNo };
enum class MsgIcon { None, Information, Critical };
enum class MsgResult { Ok, Yes, No };

// Shows a modal message box. Every window of the program is disabled while
// it shows.
MsgResult showMessage(HWND owner, const std::string& prompt, MsgButtons buttons = MsgButtons::Ok,
                      MsgIcon icon = MsgIcon::None, const std::string& title = kAppTitle);

// The same with the prompt and title in UTF-8, shown exactly through the
// wide call: for the program's own boxes that name a file or a class, which
// must never name another one than the one they act on.
MsgResult showExactMessage(HWND owner, const std::string& prompt, MsgButtons buttons = MsgButtons::Ok,
                           MsgIcon icon = MsgIcon::None, const std::string& title = kAppTitle);

// Asks where to save a registry script, suggesting `suggestedName` (UTF-8);
// the path chosen (UTF-8, exactly as named), or nothing when cancelled. An
// existing file is replaced only after the dialog's own question.
std::optional<std::string> askScriptSavePath(HWND owner, const std::string& suggestedName);

// Reports the error in a critical message box with its number and
// description, then ends the program.
[[noreturn]] void reportFatalError(const std::exception& error);

} // namespace windows
