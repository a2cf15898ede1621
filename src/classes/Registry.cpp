#include "classes/Registry.h"

#include "text/Text.h"
#include "text/Utf.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <set>
#include <string_view>

namespace classes {

namespace {

std::string_view bytesOf(const std::vector<std::uint8_t>& data)
{
    return {reinterpret_cast<const char*>(data.data()), data.size()};
}

} // namespace

std::string typeName(ValueType type)
{
    switch (type) {
    case ValueType::None: return "REG_NONE";
    case ValueType::String: return "REG_SZ";
    case ValueType::ExpandString: return "REG_EXPAND_SZ";
    case ValueType::Binary: return "REG_BINARY";
    case ValueType::Dword: return "REG_DWORD";
    case ValueType::DwordBigEndian: return "REG_DWORD_BIG_ENDIAN";
    case ValueType::Link: return "REG_LINK";
    case ValueType::MultiString: return "REG_MULTI_SZ";
    case ValueType::Qword: return "REG_QWORD";
    }
    return "type " + std::to_string(static_cast<unsigned long>(type));
}

std::optional<std::string> Value::text() const
{
    if (type != ValueType::String && type != ValueType::ExpandString) return std::nullopt;
    return leadingText();
}

std::string Value::leadingText() const { return text::utf8FromUtf16Bytes(bytesOf(data)); }

std::optional<std::uint32_t> Value::dword() const
{
    if (type != ValueType::Dword || data.size() != sizeof(std::uint32_t)) return std::nullopt;
    std::uint32_t number = 0;
    std::memcpy(&number, data.data(), sizeof(number));
    return number;
}

Value Value::ofText(const std::string& text, ValueType type)
{
    const std::string bytes = text::utf16BytesFromUtf8(text);
    return {type, std::vector<std::uint8_t>(bytes.begin(), bytes.end())};
}

KeyContent ClassesSource::content(Hive hive, View view, const std::string& path) const
{
    KeyContent c;
    c.exists = keyExists(hive, view, path);
    if (!c.exists) return c;
    c.link = isLink(hive, view, path);
    if (!c.link) c.subKeys = subKeys(hive, view, path);
    c.values = values(hive, view, path);
    return c;
}

bool MergedClasses::keyExists(const std::string& path) const
{
    return source_.keyExists(Hive::UserClasses, view_, path) || source_.keyExists(Hive::MachineClasses, view_, path);
}

Hive MergedClasses::hiveOf(const std::string& path) const
{
    return source_.keyExists(Hive::UserClasses, view_, path) ? Hive::UserClasses : Hive::MachineClasses;
}

std::optional<Value> MergedClasses::value(const std::string& path, const std::string& name) const
{
    return source_.value(hiveOf(path), view_, path, name);
}

std::string MergedClasses::text(const std::string& path, const std::string& name) const
{
    const std::optional<Value> found = value(path, name);
    return found ? found->text().value_or("") : "";
}

std::vector<std::string> MergedClasses::subKeys(const std::string& path) const
{
    std::vector<std::string> names = source_.subKeys(Hive::UserClasses, view_, path);
    std::set<std::string> seen;
    for (const std::string& name : names) seen.insert(text::upperAscii(name));
    for (std::string& name : source_.subKeys(Hive::MachineClasses, view_, path))
        if (seen.insert(text::upperAscii(name)).second) names.push_back(std::move(name));
    return names;
}

bool isRedirectedClassesKey(const std::string& classesPath)
{
    static constexpr std::array<const char*, 5> kRedirected{"CLSID", "DirectShow", "Interface", "Media Type",
                                                            "MediaFoundation"};
    const std::string first = classesPath.substr(0, classesPath.find('\\'));
    return std::any_of(kRedirected.begin(), kRedirected.end(),
                       [&](const char* name) { return text::equalIgnoringCase(first, name); });
}

std::string classKey(const std::string& clsid) { return "CLSID\\" + clsid; }
std::string serverKey(const std::string& clsid) { return classKey(clsid) + "\\InProcServer32"; }

} // namespace classes
