#pragma once
// The doctor's results for programs (JSON) and the stale list for people.
// The checklist's text form is the doctor's own (doctor/Report.h), since a
// window shows it too.
#include "doctor/AddIns.h"
#include "doctor/Checklist.h"
#include "doctor/Stale.h"
#include "output/Output.h"

#include <string>
#include <vector>

namespace output {

// One object per class: target, clsid, progId, view, result, the server
// facts and the checks, keyed by item in the checklist's order. Ends in CR LF.
std::string checklistJson(const std::vector<doctor::Checklist>& lists);

// The stale classes as aligned columns (view, hive, CLSID, ProgIDs, server)
// or as JSON, one object per class key; the type-library leftovers after
// them, in a table of their own, or as JSON objects with a "kind" of
// "typeLib" or "interface". Lines end in CR LF.
std::string staleText(const std::vector<doctor::StaleClass>& classes,
                      const std::vector<doctor::StaleEntry>& entries = {});
std::string staleJson(const std::vector<doctor::StaleClass>& classes,
                      const std::vector<doctor::StaleEntry>& entries = {});

// The host's add-ins: one row per class and hive, with the worst item of a
// class that does not pass, as aligned text, CSV or JSON. Lines end in CR LF.
std::string addInsOutput(const std::vector<doctor::AddInRow>& rows, Format format);

} // namespace output
