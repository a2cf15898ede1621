#pragma once
// The helper program's answer to the companion: one "name=value" line a
// field, UTF-8. A value never holds a line end; one given is written as a
// space, so that a message can never forge another field.
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace text {

// "name=value\r\n", CR and LF in the value written as spaces.
std::string fieldLine(std::string_view name, std::string_view value);

// The fields of an answer: every line with a "=" in it, split at the first
// one; lines without one are ignored. A name given twice keeps its last value.
std::map<std::string, std::string, std::less<>> fieldsOf(std::string_view answer);

// How the helper program ends, whatever it runs (the load trial's answer
// fields: doctor/LoadVerdict.h; the capture's: scripts/CapturedRegistration.h). An
// exception code (0xC0000000 and up) is a crash.
namespace helperExit {
inline constexpr int kRan = 0;         // the steps ran: the answer says how each went
inline constexpr int kUsage = 2;       // the arguments were refused
inline constexpr int kSetupFailed = 3; // the load trial's apartment, or the capture's redirection, was not set up
} // namespace helperExit

// An HRESULT, an exception or error code as a field's value: "0x%08X".
std::string codeText(unsigned long code);
// A field's code back: "0x" and up to eight hex digits, or decimal digits
// (the loader's error numbers); nothing for anything else.
std::optional<unsigned long> codeOf(std::string_view value);

} // namespace text
