#pragma once
// The system's own folders, as UTF-8 full paths without a trailing separator
// (but for a drive's root); "" when the system does not give one.
#include <string>

namespace platform {

// The system folder ("C:\Windows\System32").
std::string systemFolder();
// The 32-bit system folder of a 64-bit Windows ("C:\Windows\SysWOW64"); ""
// on a Windows with one bitness.
std::string system32BitFolder();
// The Windows folder: the system's own ("C:\Windows"), also on a terminal
// server, where each user may have a Windows folder of their own.
std::string windowsFolder();

} // namespace platform
