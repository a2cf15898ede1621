#pragma once
// The registration doctor on this machine: its registry (both views, both
// hives, read directly), its files and its loader's search folders. The
// rules are in doctor/; this only hands them the machine.
#include "doctor/Doctor.h"
#include "doctor/Report.h"
#include "doctor/Stale.h"
#include "doctor/Verify.h"

#include <memory>
#include <string>
#include <vector>

namespace platform {

// The machine as the doctor reads it. Reads PATH and the system folders once.
class SystemMachine {
public:
    SystemMachine();
    ~SystemMachine();
    SystemMachine(const SystemMachine&) = delete;
    SystemMachine& operator=(const SystemMachine&) = delete;

    const doctor::Machine& machine() const { return *machine_; }
    const classes::ClassesSource& registry() const;

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
    std::unique_ptr<doctor::Machine> machine_;
};

// The text report of a target, as the command prints it and a window shows
// it, in `view` as checkTarget takes it; with `load`, each class also gets
// its load trial (platform/LoadTrial.h) by the helper of the view's bitness.
std::string checkReport(const std::string& target, doctor::Host host = doctor::Host::Any, bool load = false, int view = 0);

} // namespace platform
