#pragma once
// Classes whose server file is gone, what of them a cleanup may delete, and
// the two scripts: the cleanup, and the undo that restores every key and
// value the cleanup deletes. The registry is read through a ClassesSource,
// so all of it is plain code.
#include "doctor/Doctor.h"

#include <string>
#include <vector>

namespace doctor {

struct StaleProgId {
    std::string name;
    std::string key;  // its full key name, as the cleanup script deletes it
    std::string kept; // "" when the cleanup deletes it, else why not ("holds shell\open\command")
    classes::Hive hive = classes::Hive::MachineClasses;
    classes::View view = classes::View::Bits64;
};

struct StaleClass {
    std::string clsid;
    std::vector<int> views;  // 64, 32, or both when the two views share the key
    bool perUser = false;    // HKEY_CURRENT_USER\Software\Classes, else the machine's
    std::string key;         // the class key's full name
    std::string server;      // InProcServer32's value as stored
    std::string file;        // the file looked for
    std::vector<StaleProgId> progIds; // those that lead to no other class
    std::string kept;        // "" when the cleanup deletes the key, else why not ("holds LocalServer32")
    classes::Hive hive = classes::Hive::MachineClasses;
    classes::View view = classes::View::Bits64;
};

// The classes of the views whose in-process server, by the server rule, is
// a full path to a file that is not there, with the ProgIDs that lead to no
// class other than stale ones. A bare or relative file name is never stale
// (the host's folder and PATH decide where it is found), nor is a class whose
// key the other view shares while its server is found there. Each key is
// planned: it is deleted only when it holds nothing but the dead in-process
// registration and the undo script can restore it exactly.
std::vector<StaleClass> findStaleClasses(const Machine& machine, bool view64, bool view32);

// A type library's version whose files are gone, or an Interface key of the
// type-library marshaller whose library version is not registered.
struct StaleEntry {
    enum class Kind { TypeLibVersion, Interface };
    Kind kind = Kind::TypeLibVersion;
    std::string name;       // "{LIBID} 1.0", or the interface's "{IID}" and its name
    std::string path;       // below the hive's classes: "TypeLib\{LIBID}\1.0", "Interface\{IID}"
    std::string key;        // its full key name
    std::string detail;     // the files looked for, or the library version named
    std::vector<int> views; // 64, 32, or both when the two views share the key
    std::string kept;       // "" when the cleanup deletes it, else why not ("holds Extra")
    classes::Hive hive = classes::Hive::MachineClasses;
    classes::View view = classes::View::Bits64;
};

// The leftovers of type libraries in the views: every version of a library
// whose files, in every platform key below it ("win64", "win32"...), are full
// paths to nothing (a bare name is never stale); and every Interface key whose
// ProxyStubClsid32 is the type-library marshaller and whose TypeLib names a
// library version that is not registered, or is itself stale. A key is
// deleted only when it holds nothing else and the undo can restore it.
std::vector<StaleEntry> findStaleTypeLibs(const Machine& machine, bool view64, bool view32);

// The cleanup: "[-key]" for each class key and ProgID planned for deletion,
// class by class. REGEDIT4 when every name is ASCII, else a Version 5.00
// script in UTF-16 LE with its byte-order mark, so that no name is read as
// another. Lines end in CR LF.
// The type-library leftovers follow the classes.
std::string cleanupScript(const std::vector<StaleClass>& classes, const std::vector<StaleEntry>& entries = {});

// The undo: a Version 5.00 script in UTF-16 LE with its byte-order mark that
// creates again every key the cleanup deletes, with each value's type and
// data byte for byte.
std::string undoScript(const classes::ClassesSource& registry, const std::vector<StaleClass>& classes,
                       const std::vector<StaleEntry>& entries = {});

// The undo script's path beside the cleanup's: "Undo-" before the file name.
std::string undoFileNameOf(const std::string& cleanupFileName);

} // namespace doctor
