#include "platform/DoctorMachine.h"

#include "platform/Locale.h"
#include "platform/Files.h"
#include "platform/LoadTrial.h"
#include "platform/RegistryReader.h"
#include "platform/ServerFiles.h"
#include "platform/TypeLibLoader.h"
#include "text/Text.h"

namespace platform {

namespace {

using classes::Hive;
using platform::RegistryReader;
using classes::View;

class SystemFileReader : public doctor::FileReader {
public:
    std::optional<std::string> firstBytes(const std::string& path, size_t count) const override
    {
        const platform::FileFacts facts = platform::inspectFile(path, count);
        if (!facts.exists || facts.isDirectory) return std::nullopt;
        return facts.firstBytes;
    }
    std::string absolutePath(const std::string& path) const override { return platform::absolutePath(path); }
    doctor::TypeLibFile readTypeLib(const std::string& path) const override { return platform::loadTypeLibrary(path); }
    std::optional<doctor::ModuleFile> wholeFile(const std::string& path) const override
    {
        std::optional<platform::MappedFile> mapped = platform::mapFile(path);
        if (!mapped) return std::nullopt;
        return doctor::ModuleFile{std::move(mapped->owner), mapped->bytes};
    }
    std::vector<std::string> knownDlls() const override
    {
        // Read once: a walk asks for every server of a target.
        if (!knownDlls_) {
            knownDlls_.emplace();
            const platform::OpenKey key(HKEY_LOCAL_MACHINE,
                                        "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs");
            if (key)
                for (const classes::NamedValue& value : key.values())
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
    platform::SystemClasses registry;
    platform::SystemServerFiles files;
    SystemFileReader reader;
};

SystemMachine::SystemMachine()
    : parts_(std::make_unique<Parts>()),
      machine_(std::make_unique<doctor::Machine>(doctor::Machine{parts_->registry, parts_->files, parts_->reader}))
{
}

SystemMachine::~SystemMachine() = default;

const classes::ClassesSource& SystemMachine::registry() const { return parts_->registry; }

std::string checkReport(const std::string& target, doctor::Host host, bool load, int view)
{
    std::vector<doctor::Checklist> lists = doctor::checkTarget(SystemMachine().machine(), target, host, view);
    if (load)
        for (doctor::Checklist& list : lists) tryLoading(list);
    return lists.empty() ? doctor::notFoundText(target) : doctor::checklistText(lists);
}


} // namespace platform
