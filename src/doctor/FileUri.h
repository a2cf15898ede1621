#pragma once
// A server named by a file URI, as .NET writes its CodeBase value, turned into
// the Windows path it stands for.
#include <optional>
#include <string>

namespace doctor {

// "file:///C:/Some%20Dir/x.dll" -> "C:\Some Dir\x.dll",
// "file://server/share/x" -> "\\server\share\x"; "localhost" is this
// machine. The scheme is matched without regard to case; every %XX is
// decoded and every "/" becomes "\". Nothing for anything else: another
// scheme, no "//" after it, a malformed or NUL escape, an empty path.
std::optional<std::string> pathFromFileUri(const std::string& uri);

} // namespace doctor
