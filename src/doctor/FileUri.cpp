#include "doctor/FileUri.h"

#include <string_view>

namespace doctor {

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    c = lower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// Percent-decoded, with "/" as "\". Nothing for a bad escape or a NUL.
std::optional<std::string> decoded(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            if (text.size() - i < 3 || hexDigit(text[i + 1]) < 0 || hexDigit(text[i + 2]) < 0) return std::nullopt;
            c = static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
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
    if (uri.size() < prefix.size() || !equalIgnoringCase(std::string_view(uri).substr(0, prefix.size()), prefix))
        return std::nullopt;
    const std::string_view rest = std::string_view(uri).substr(prefix.size());
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return std::nullopt;

    const std::string_view host = rest.substr(0, slash);
    // The local path keeps its leading "/" only when no drive follows it: "/C:/x" is "C:\x".
    std::string_view path = rest.substr(slash);
    if (host.empty() || equalIgnoringCase(host, "localhost")) {
        if (path.size() >= 3 && lower(path[1]) >= 'a' && lower(path[1]) <= 'z' && path[2] == ':') path.remove_prefix(1);
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
