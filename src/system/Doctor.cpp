#include "system/Doctor.h"

#include "system/Locale.h"
#include "system/Files.h"
#include "system/LoadTrial.h"
#include "system/RegistryReader.h"
#include "system/ServerFiles.h"
#include "system/TypeLibLoader.h"
#include "text/Text.h"

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
    TypeLibFile readTypeLib(const std::string& path) const override { return platform::loadTypeLibrary(path); }
    std::optional<ModuleFile> wholeFile(const std::string& path) const override
    {
        std::optional<platform::MappedFile> mapped = platform::mapFile(path);
        if (!mapped) return std::nullopt;
        return ModuleFile{std::move(mapped->owner), mapped->bytes};
    }
    std::vector<std::string> knownDlls() const override
    {
        // Read once: a walk asks for every server of a target.
        if (!knownDlls_) {
            knownDlls_.emplace();
            const registry::OpenKey key(HKEY_LOCAL_MACHINE,
                                        "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs");
            if (key)
                for (const registry::NamedValue& value : key.values())
                    if (std::optional<std::string> text = value.value.text();
                        text && text::endsWithIgnoringCase(*text, ".dll"))
                        knownDlls_->push_back(*text);
        }
        return *knownDlls_;
    }

    bool stubsMissingFunctions() const override
    {
        // Wine's ntdll says its version; its loader binds a missing import to a stub.
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }

private:
    mutable std::optional<std::vector<std::string>> knownDlls_;
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

std::string checkReport(const std::string& target, Host host, bool load, int view)
{
    std::vector<Checklist> lists = checkTarget(SystemMachine().machine(), target, host, view);
    if (load)
        for (Checklist& list : lists) tryLoading(list);
    return lists.empty() ? notFoundText(target) : checklistText(lists);
}


} // namespace doctor
