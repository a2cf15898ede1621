#pragma once
// The helper program's answer to the companion: one "name=value" line a
// field, UTF-8. A value never holds a line end; one given is written as a
// space, so that a message can never forge another field.
#include <map>
#include <string>
#include <string_view>

namespace text {

// "name=value\r\n", CR and LF in the value written as spaces.
std::string fieldLine(std::string_view name, std::string_view value);

// The fields of an answer: every line with a "=" in it, split at the first
// one; lines without one are ignored. A name given twice keeps its last value.
std::map<std::string, std::string, std::less<>> fieldsOf(std::string_view answer);

} // namespace text
