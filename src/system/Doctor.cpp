#include "system/Doctor.h"

#include "system/Locale.h"
#include "system/Files.h"
#include "system/LoadTrial.h"
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

std::string checkReport(const std::string& target, Host host, bool load)
{
    std::vector<Checklist> lists = checkTarget(SystemMachine().machine(), target, host);
    if (load)
        for (Checklist& list : lists) tryLoading(list);
    return lists.empty() ? notFoundText(target) : checklistText(lists);
}


} // namespace doctor
