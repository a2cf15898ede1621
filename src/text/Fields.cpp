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

std::string codeText(unsigned long code)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) out += kDigits[(code >> shift) & 0xF];
    return out;
}

std::optional<unsigned long> codeOf(std::string_view value)
{
    const bool isHex = value.size() > 2 && value.substr(0, 2) == "0x";
    const std::string_view digits = isHex ? value.substr(2) : value;
    if (digits.empty() || digits.size() > (isHex ? 8U : 9U)) return std::nullopt;
    unsigned long code = 0;
    for (char c : digits) {
        const int digit = isHex ? hexDigitValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (digit < 0) return std::nullopt;
        code = code * (isHex ? 16 : 10) + unsigned(digit);
    }
    return code;
}

} // namespace text
