#pragma once
// The checklists as a person reads them, for the console and for a window
// that shows the same report.
#include "doctor/Checklist.h"

#include <string>
#include <vector>

namespace doctor {

// "Presence by view", "Server value"... for an item's key.
const char* itemLabel(const std::string& key);

// One block per class: a heading with the class, its ProgID and the view
// read, one line per item ("PASS", "WARN" or "FAIL", the label, the
// reason), and the result. Blocks are separated by an empty line; lines end
// in CR LF.
std::string checklistText(const std::vector<Checklist>& lists);

// The text shown when a target names no class.
std::string notFoundText(const std::string& target);

} // namespace doctor
