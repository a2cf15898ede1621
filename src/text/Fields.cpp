#include "text/Fields.h"

#include "text/Text.h"

namespace text {

std::string fieldLine(std::string_view name, std::string_view value)
{
    std::string line(name);
    line += '=';
    for (char c : value) line += (c == '\r' || c == '\n') ? ' ' : c;
    return line + kCrLf;
}

std::map<std::string, std::string, std::less<>> fieldsOf(std::string_view answer)
{
    std::map<std::string, std::string, std::less<>> fields;
    while (!answer.empty()) {
        const size_t end = answer.find('\n');
        std::string_view line = answer.substr(0, end);
        answer = end == std::string_view::npos ? std::string_view{} : answer.substr(end + 1);
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        fields[std::string(line.substr(0, equals))] = std::string(line.substr(equals + 1));
    }
    return fields;
}

} // namespace text
