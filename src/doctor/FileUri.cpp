#include "doctor/FileUri.h"

#include "text/Text.h"

#include <string_view>

namespace doctor {

namespace {

// Percent-decoded, with "/" as "\". Nothing for a bad escape or a NUL.
std::optional<std::string> decoded(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            if (text.size() - i < 3 || text::hexDigitValue(text[i + 1]) < 0 || text::hexDigitValue(text[i + 2]) < 0) return std::nullopt;
            c = static_cast<char>(text::hexDigitValue(text[i + 1]) * 16 + text::hexDigitValue(text[i + 2]));
            i += 2;
        }
        if (c == '\0') return std::nullopt;
        out += c == '/' ? '\\' : c;
    }
    return out;
}

} // namespace

std::optional<std::string> pathFromFileUri(const std::string& uri)
{
    const std::string_view prefix = "file://";
    if (uri.size() < prefix.size() || !text::equalIgnoringCase(std::string_view(uri).substr(0, prefix.size()), prefix))
        return std::nullopt;
    const std::string_view rest = std::string_view(uri).substr(prefix.size());
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return std::nullopt;

    const std::string_view host = rest.substr(0, slash);
    // The local path keeps its leading "/" only when no drive follows it: "/C:/x" is "C:\x".
    std::string_view path = rest.substr(slash);
    if (host.empty() || text::equalIgnoringCase(host, "localhost")) {
        if (path.size() >= 3 && text::upperAscii(path[1]) >= 'A' && text::upperAscii(path[1]) <= 'Z' && path[2] == ':') path.remove_prefix(1);
        std::optional<std::string> local = decoded(path);
        if (!local || local->empty() || *local == "\\") return std::nullopt;
        return local;
    }
    std::optional<std::string> server = decoded(host);
    std::optional<std::string> share = decoded(path.substr(1));
    if (!server || !share || share->empty()) return std::nullopt;
    return "\\\\" + *server + "\\" + *share;
}

} // namespace doctor
