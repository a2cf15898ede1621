#pragma once
// The host's add-ins at a glance: every class that names the host's
// category under its Implemented Categories, in each view and hive, with
// the worst item of its checklist.
#include "doctor/Doctor.h"

#include <string>
#include <vector>

namespace doctor {

struct AddInRow {
    int view = 64;
    classes::Hive hive = classes::Hive::MachineClasses; // the hive that registers the class in the category
    std::string clsid;
    // As the view's merged classes show them, as the host reads them.
    std::string menuName;      // the class key's default value
    std::string progId;        // the class's ProgID subkey
    std::string server;        // InProcServer32's default value, as stored
    std::string loadOnStartUp; // Settings\LoadOnStartUp as text ("" when missing)
    Checklist checklist;       // in that view
};

// The classes of the host's category (either category for Host::Any), in
// the views asked for; the machine's hive before the user's, each view's
// classes in the order the registry lists them.
std::vector<AddInRow> findAddIns(const Machine& machine, Host host, bool view64, bool view32);

// The worst item of a checklist, the first of equals; nothing when it has none.
const Item* worstItem(const Checklist& list);

} // namespace doctor
