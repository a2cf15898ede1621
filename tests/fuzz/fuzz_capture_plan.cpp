// The captured registration's scripts on random captures: the register
// script, read back as the importer reads it, writes every planned value with
// its type and bytes, and nothing else; the un-register script deletes no key
// that was there before; the template's lines keep their number.
#include "FuzzInput.h"
#include "scripts/Capture.h"
#include "scripts/RegFileReader.h"
#include "text/Text.h"

#include <array>
#include <set>

using namespace scripts;

namespace {

constexpr std::array<const char*, 8> kParts{"CLSID", "{A}", "InProcServer32", "Interface", "Software",
                                            "Classes", "Wow6432Node", "My.ProgId"};
constexpr std::array<registry::ValueType, 6> kTypes{registry::ValueType::String, registry::ValueType::ExpandString,
                                                    registry::ValueType::MultiString, registry::ValueType::Dword,
                                                    registry::ValueType::Binary, registry::ValueType::Qword};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<std::string> parts = fuzz::splitAtNul(data, size, 3);
    const std::string& shape = parts[0];
    const std::string& names = parts[1];
    const std::string& bytes = parts[2];
    if (shape.size() < 2) return 0;

    // Keys from the shape's bytes; names and data from the other parts.
    std::vector<CapturedKey> keys;
    size_t nameAt = 0;
    for (size_t i = 2; i + 1 < shape.size() && keys.size() < 12; i += 2) {
        const auto code = static_cast<unsigned char>(shape[i]);
        const auto more = static_cast<unsigned char>(shape[i + 1]);
        CapturedKey key;
        key.root = static_cast<CapturedRoot>(code % 4);
        key.path = kParts[(code / 4) % kParts.size()];
        if (more & 1) key.path += std::string("\\") + kParts[(more / 2) % kParts.size()];
        key.hasSubKeys = (more & 0x80) != 0;
        if (more & 0x40) {
            // Names come from the registry reader as valid UTF-8.
            const std::string name =
                text::utf8FromUtf16(text::utf16FromUtf8(names.substr(std::min(nameAt, names.size()), more % 5)));
            nameAt += more % 5;
            registry::Value value{kTypes[more % kTypes.size()], {}};
            const std::string piece = bytes.substr(0, (more % 9) * 2);
            value.data.assign(piece.begin(), piece.end());
            key.values.push_back({name, value});
        }
        keys.push_back(std::move(key));
    }
    const CaptureTarget target{(shape[0] & 1) ? 32 : 64, (shape[0] & 2) != 0};
    const CapturePlan plan = planCapture(keys, target, {bytes.substr(0, 6)}, names.substr(0, 4));

    const std::string script = registerScriptOf(plan);
    const RegScriptContent read = readRegScript(script, {});
    fuzz::check(read.imported, "the register script has a header");
    std::vector<const RegEntry*> values;
    for (const RegEntry& e : read.entries)
        if (e.kind != RegEntryKind::Key) values.push_back(&e);
    size_t planned = 0;
    for (const PlannedKey& k : plan.keys) {
        if (!k.written) continue;
        for (const registry::NamedValue& v : k.values) {
            fuzz::check(planned < values.size(), "every planned value is read back");
            const RegEntry& e = *values[planned++];
            fuzz::check(e.valueName == v.name, "a value keeps its name");
            fuzz::check(e.type == registry::typeCode(v.value.type), "a value keeps its type");
            // A string's NUL is added by the importer when it lacks one.
            std::string stored(v.value.data.begin(), v.value.data.end());
            fuzz::check(e.stored == stored || (registry::holdsStrings(v.value.type) && e.stored.size() > stored.size()),
                        "a value keeps its bytes");
        }
    }
    fuzz::check(planned == values.size(), "nothing but the planned values");

    // Some keys exist already, and so their parents; none of them is deleted.
    std::set<std::string> existing;
    for (size_t i = 0; i < plan.keys.size(); ++i)
        if ((static_cast<unsigned char>(shape[1]) >> (i % 8)) & 1) existing.insert(text::upperAscii(plan.keys[i].key.fullName()));
    const ExistingKeys probe{[&](RegRoot root, const std::string& path) {
                                 const std::string name = text::upperAscii(ScriptKey{root, path}.fullName());
                                 for (const std::string& kept : existing)
                                     if (kept == name || kept.rfind(name + "\\", 0) == 0) return true;
                                 return path.empty();
                             },
                             [](RegRoot, const std::string&, const std::string&) { return false; }};
    const RegScriptContent unReg = readRegScript(unRegisterScriptOf(plan, probe), {});
    for (const RegEntry& e : unReg.entries)
        if (e.kind == RegEntryKind::Key && e.keyDeleted)
            for (const std::string& kept : existing)
                fuzz::check(text::upperAscii(e.keyPath) != kept && kept.rfind(text::upperAscii(e.keyPath) + "\\", 0) != 0,
                            "a key that was there is never deleted");
    return 0;
}
