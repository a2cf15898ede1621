#pragma once
// The registration doctor: finds the classes a target names, gathers what the
// registry and the server files say about them, and has the rules of
// Checklist.h judge it. Both registry views and both hives are read through
// a ClassesSource, the files through the server rule's file system and a
// FileReader, so that the doctor is plain code; platform/DoctorMachine.h runs it on
// the machine. Nothing is written.
#include "classes/Registry.h"
#include "classes/ServerRule.h"
#include "doctor/Checklist.h"
#include "doctor/Dependencies.h"
#include "doctor/TypeLibs.h"

#include <optional>
#include <string>
#include <vector>

namespace doctor {

// The files' side of the machine: a server's first bytes for its header,
// (as a ModuleReader) whole files and KnownDLLs for its dependencies, and
// (as a TypeLibReader) what the system's loader makes of a type library.
class FileReader : public ModuleReader, public TypeLibReader {
public:
    // A reader without the system's type-library loader loads none.
    TypeLibFile readTypeLib(const std::string& /*path*/) const override { return {}; }
    // Up to `count` first bytes of a file; nothing when it cannot be opened.
    virtual std::optional<std::string> firstBytes(const std::string& path, size_t count) const = 0;
    // The path made absolute against the current folder.
    virtual std::string absolutePath(const std::string& path) const = 0;
};

// What the doctor reads.
struct Machine {
    const classes::ClassesSource& registry;
    const classes::ServerFileSystem& files;
    const FileReader& reader;
};

// A class a target names, with the ProgID it was named by ("" when none).
struct ClassRef {
    std::string clsid;
    std::string progId;
    int view = 0; // the view to check it in (64 or 32); 0: the 64-bit view when the class is there, else the 32-bit
};

// The classes of a target (see targetKindOf): a CLSID whose key is in
// either view; the classes a ProgID names in either view (through CurVer
// when it names none itself); or every class whose in-process server is the
// file, in either view, by the server rule. Empty when the target names none.
std::vector<ClassRef> classesOf(const Machine& machine, const std::string& target);

// The checklist of one class.
Checklist checkClass(const Machine& machine, const ClassRef& ref, const std::string& target, Host host);

// The checklists of every class of the target, each in `view` (64 or 32) or,
// for 0, in the 64-bit view when the class is there, else the 32-bit one;
// empty when the target names none.
std::vector<Checklist> checkTarget(const Machine& machine, const std::string& target, Host host, int view = 0);

// The server files a class's registrations name, in either view, as the
// loader of that view finds them; each file once. `missing` gets the
// files named that are not there.
std::vector<std::string> serverFilesOf(const Machine& machine, const ClassRef& ref,
                                       std::vector<std::string>* missing = nullptr);

// The ProgIDs that belong to a class: the given one and those the class
// names in either view.
std::vector<std::string> progIdsOf(const Machine& machine, const ClassRef& ref);

// Every key of the class still present, in either view and hive, each once by
// its full name: the class key and all below it, and those of the ProgIDs
// that still name the class.
std::vector<std::string> keysLeft(const Machine& machine, const std::string& clsid,
                                  const std::vector<std::string>& progIds);

// The CLSID a ProgID names in the merged classes of a view, through CurVer
// when it names none itself.
std::string clsidOfProgId(const classes::MergedClasses& classes, const std::string& progId);

} // namespace doctor
