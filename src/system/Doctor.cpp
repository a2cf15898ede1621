#include "system/Doctor.h"

#include "system/Locale.h"
#include "system/Files.h"
#include "system/RegistryReader.h"
#include "system/ServerFiles.h"

namespace doctor {

namespace {

using registry::Hive;
using registry::RegistryReader;
using registry::View;

class SystemFileReader : public FileReader {
public:
    std::optional<std::string> firstBytes(const std::string& path, size_t count) const override
    {
        const platform::FileFacts facts = platform::inspectFile(path, count);
        if (!facts.exists || facts.isDirectory) return std::nullopt;
        return facts.firstBytes;
    }
    std::string absolutePath(const std::string& path) const override { return platform::absolutePath(path); }
};

} // namespace

struct SystemMachine::Parts {
    registry::SystemClasses registry;
    platform::SystemServerFiles files;
    SystemFileReader reader;
};

SystemMachine::SystemMachine()
    : parts_(std::make_unique<Parts>()),
      machine_(std::make_unique<Machine>(Machine{parts_->registry, parts_->files, parts_->reader}))
{
}

SystemMachine::~SystemMachine() = default;

const registry::ClassesSource& SystemMachine::registry() const { return parts_->registry; }

std::string checkReport(const std::string& target, Host host)
{
    const std::vector<Checklist> lists = checkTarget(SystemMachine().machine(), target, host);
    return lists.empty() ? notFoundText(target) : checklistText(lists);
}

std::vector<Finding> verifyMerge(const std::string& scriptText)
{
    const registry::SystemClasses classes;
    const registry::MergedClasses merged(classes, View::Bits64);
    const RegistryReader machine(Hive::MachineClasses, View::Bits64);
    const RegistryReader user(Hive::UserClasses, View::Bits64);
    RegistryProbe probe;
    // The script is ANSI text: its names are read as such, and strings
    // compared in the ANSI code page.
    probe.keyExists = [&](const ClassesKey& key) {
        const std::string path = platform::ansiToUtf8(key.path);
        if (key.hive == ClassesHive::Merged) return merged.keyExists(path);
        return (key.hive == ClassesHive::Machine ? machine : user).keyExists(path);
    };
    probe.value = [&](const ClassesKey& key, const std::string& ansiName) -> std::optional<StoredValue> {
        const std::string path = platform::ansiToUtf8(key.path);
        const std::string name = platform::ansiToUtf8(ansiName);
        const std::optional<registry::Value> value =
            key.hive == ClassesHive::Merged ? merged.value(path, name)
                                            : (key.hive == ClassesHive::Machine ? machine : user).value(path, name);
        if (!value) return std::nullopt;
        std::string data(value->data.begin(), value->data.end());
        if (value->type == registry::ValueType::String || value->type == registry::ValueType::ExpandString ||
            value->type == registry::ValueType::MultiString)
            data = platform::ansiFromUtf16(std::u16string(reinterpret_cast<const char16_t*>(data.data()), data.size() / 2));
        return StoredValue{static_cast<uint32_t>(value->type), data};
    };
    return verifyScript(scriptText, probe);
}

} // namespace doctor
