#pragma once
// The windows' access to the Windows registry, in their ANSI text and with
// their buffer limits, over the program's one registry reader. It only
// reads, holds no state, and turns every registry failure into the caller's
// default or a shorter list.
#include <windows.h>

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace RegistryAPI {

// A value as read: a string, bytes, a signed 32-bit number, or a copy of the
// caller's default.
using RegistryValue = std::variant<std::string, std::vector<std::uint8_t>, std::int32_t>;

// The type codes readRegValue supports: the registry's own type numbers.
inline constexpr short kString = 1; // REG_SZ
inline constexpr short kBinary = 3; // REG_BINARY
inline constexpr short kNumber = 4; // REG_DWORD

// Reads one value of key sKeyPath below hRootKey ("" names the default
// value). The requested type alone decides how the data is taken, whatever
// type the registry holds. Any other type code raises error 1001
// "Unsupported value type", but only once the key has opened (and been
// closed again).
// `samView` reads another registry view (KEY_WOW64_32KEY) than the
// program's own.
RegistryValue readRegValue(HKEY hRootKey, const std::string& sKeyPath, const std::string& sValueName, short iValueType,
                           RegistryValue vDefault, REGSAM samView = 0);

// Whether the key sKeyPath below hRootKey opens, in the view `samView` asks for.
bool keyExists(HKEY hRootKey, const std::string& sKeyPath, REGSAM samView = 0);

// The names of the subkeys of sKeyPath below hRootKey (of hRootKey itself
// when the path is empty), in the registry's enumeration order.
// `exactNames`, when given, gets each listed name as stored, in UTF-8.
std::vector<std::string> listSubKeys(HKEY hRootKey, const std::string& sKeyPath,
                                     std::vector<std::string>* exactNames = nullptr);

} // namespace RegistryAPI
