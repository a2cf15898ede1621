#include "doctor/AddIns.h"

#include "scripts/HostCategories.h"

#include <vector>

namespace doctor {

namespace {

using classes::Hive;
using classes::View;

std::vector<const char*> categoriesOf(Host host)
{
    switch (host) {
    case Host::R6: return {scripts::kR6Category};
    case Host::Older: return {scripts::kOlderCategory};
    case Host::Any: break;
    }
    return {scripts::kR6Category, scripts::kOlderCategory};
}

std::string valueText(const std::optional<classes::Value>& value)
{
    if (!value) return {};
    if (std::optional<uint32_t> number = value->dword()) return std::to_string(*number);
    return value->leadingText();
}

} // namespace

std::vector<AddInRow> findAddIns(const Machine& machine, Host host, bool view64, bool view32)
{
    std::vector<AddInRow> rows;
    const std::vector<const char*> categories = categoriesOf(host);
    for (View view : {View::Bits64, View::Bits32}) {
        if (!(view == View::Bits64 ? view64 : view32)) continue;
        const classes::MergedClasses classes(machine.registry, view);
        for (Hive hive : {Hive::MachineClasses, Hive::UserClasses}) {
            for (const std::string& clsid : machine.registry.subKeys(hive, view, "CLSID")) {
                const std::string implemented = classes::classKey(clsid) + "\\Implemented Categories\\";
                bool member = false;
                for (const char* category : categories)
                    member = member || machine.registry.keyExists(hive, view, implemented + category);
                if (!member) continue;

                AddInRow row;
                row.view = classes::bitsOf(view);
                row.hive = hive;
                row.clsid = clsid;
                const std::string key = classes::classKey(clsid);
                row.menuName = classes.text(key);
                row.progId = classes.text(key + "\\ProgID");
                row.server = valueText(classes.value(classes::serverKey(clsid)));
                row.loadOnStartUp = valueText(classes.value(key + "\\Settings", "LoadOnStartUp"));
                row.checklist = checkClass(machine, {clsid, "", row.view}, clsid, host);
                rows.push_back(std::move(row));
            }
        }
    }
    return rows;
}

const Item* worstItem(const Checklist& list)
{
    const Item* worst = nullptr;
    for (const Item& item : list.items)
        if (!worst || item.status > worst->status) worst = &item;
    return worst;
}

} // namespace doctor
