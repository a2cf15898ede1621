#pragma once
// The load trial on this machine: the helper of the checked view's bitness
// asks the system's COM loader for the class, in a process of its own, and
// its answer becomes the checklist's load item. The add-in's code runs, so
// this runs only on request.
#include "doctor/Checklist.h"

#include <string>

namespace platform {

inline constexpr unsigned kDefaultLoadTimeout = 30; // seconds

// Runs the trial for the checklist's class in the view it was checked in,
// and puts the load item in the checklist. A class in neither view gets none.
void tryLoading(doctor::Checklist& list, unsigned timeoutSeconds = kDefaultLoadTimeout);

} // namespace platform
