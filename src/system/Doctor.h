#pragma once
// The registration doctor: finds the classes a target names, gathers what
// the registry and the server files say about them, and has the rules of
// Checklist.h judge it. Both registry views and both hives are read
// directly; nothing is written. Used by the command line and the window.
#include "doctor/Checklist.h"
#include "doctor/Stale.h"
#include "doctor/Verify.h"

#include <string>
#include <vector>

namespace doctor {

// A class a target names, with the ProgID it was named by ("" when none).
struct ClassRef {
    std::string clsid;
    std::string progId;
};

// The classes of a target (see targetKindOf): a CLSID whose key is in
// either view; the classes a ProgID names in either view (through CurVer
// when it names none itself); or every class whose in-process server is the
// file, in either view, compared after expansion and unquoting. Empty when
// the target names none.
std::vector<ClassRef> classesOf(const std::string& target);

// The checklist of one class.
Checklist checkClass(const ClassRef& ref, const std::string& target, Host host);

// The checklists of every class of the target; empty when it names none.
std::vector<Checklist> checkTarget(const std::string& target, Host host);

// The text report of a target, as the command prints it and a window shows it.
std::string checkReport(const std::string& target, Host host = Host::Any);

// The registry read back against a merged script's text, in the 64-bit
// view, as reg.exe import writes it.
std::vector<Finding> verifyMerge(const std::string& scriptText);

// The server files a class's registrations name, in either view, as the
// loader of that view finds them; each file once.
std::vector<std::string> serverFilesOf(const ClassRef& ref);

// The ProgIDs that belong to a class: the given one and those the class
// names in either view.
std::vector<std::string> progIdsOf(const ClassRef& ref);

// Every key of the class still present, in either view and hive, each once by
// its full name: the class key and all below it, and those of the ProgIDs
// that still name the class.
std::vector<std::string> keysLeft(const std::string& clsid, const std::vector<std::string>& progIds);

// The classes of the views whose in-process server file does not exist,
// after expansion and unquoting, with the ProgIDs that lead to no class
// other than stale ones. A bare or relative file name is never stale (the
// search path decides where it is found), nor is a class whose key the other
// view shares while its server is found there.
std::vector<StaleClass> findStaleClasses(bool view64, bool view32);

} // namespace doctor
