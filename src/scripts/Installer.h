#pragma once
// Installer authoring for an add-in: an NSIS 3 include file and a WiX v4
// source fragment that write exactly the keys and values of the register
// script and remove exactly what its un-register script removes. Both are
// made from the two scripts as `reg import` reads them, so that every format
// holds the same registration; where a format cannot carry a value exactly,
// the value is named and nothing is written.
#include "classes/Registry.h"
#include "scripts/RegFileReader.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scripts {

enum class OutputFormat { Reg, Nsis, Wix };

// One key the installer writes: its root, its path in the add-in's registry
// view (a 32-bit add-in's keys without their Wow6432Node, which the view
// adds), and its values in the order the script sets them.
struct InstallKey {
    RegRoot root = RegRoot::ClassesRoot;
    std::string path;
    std::vector<classes::NamedValue> values;
};

// One deletion of the un-register script: a key with all below it, or one
// value of a key. A key that only the 64-bit view names (the Wow6432Node
// that a 32-bit per-user registration made) becomes the deletion of the
// keys written below it, then of the keys it emptied, each only if empty.
struct InstallRemoval {
    RegRoot root = RegRoot::ClassesRoot;
    std::string path;
    std::optional<std::string> valueName; // nothing: the key
    bool ifEmpty = false;                 // the key only when nothing is left in it
    bool in64BitView = false;             // the path names the 64-bit view, whatever the plan's
};

struct InstallPlan {
    int bits = 64; // the registry view the installer writes: the add-in's bitness
    std::vector<InstallKey> keys;
    std::vector<InstallRemoval> removals;
    std::vector<std::string> problems; // what no installer can be made of, one sentence each
};

// The plan of a register script and its un-register script, read as the
// importer reads them. A key named twice is one key; a value set twice keeps
// the last data. For 32 bits, each key's Wow6432Node path becomes its path
// in the 32-bit view; a key that lies in the 64-bit view only is a problem,
// but for the deletion of a Wow6432Node (see InstallRemoval).
InstallPlan installPlanOf(const RegScriptContent& registerScript, const RegScriptContent& unRegisterScript, int bits);

// The key's path as a program of `bits` names it: a 32-bit program reaches
// "HKEY_CLASSES_ROOT\Wow6432Node\CLSID\..." as "HKEY_CLASSES_ROOT\CLSID\...",
// "HKEY_LOCAL_MACHINE\Software\Wow6432Node\X" as "...\Software\X". Nothing
// for a key that such a program cannot name. For 64 bits, the path as it is.
std::optional<std::string> viewPathOf(RegRoot root, const std::string& path, int bits);

// The add-in's file in the installer.
struct InstalledFile {
    std::string fileName;   // the DLL's file name, as the installer copies it
    std::string serverPath; // this text in string values stands for the installed file ("": none does)
};

// A file's bytes, or why there are none.
struct InstallerText {
    std::string bytes;
    std::vector<std::string> problems;
};

// The NSIS 3 include file: the macros Register_<Name> and Unregister_<Name>,
// each setting the registry view for the add-in's bitness and restoring the
// one in force after. The installed file is "$INSTDIR\<file name>". UTF-8
// with a byte-order mark, as NSIS reads a Unicode script; lines end in CR LF.
InstallerText nsisIncludeOf(const InstallPlan& plan, const InstalledFile& file);

// The WiX v4 source fragment: one Component (bitness from the plan) in the
// folder INSTALLFOLDER, holding the DLL's File, the keys as nested
// RegistryKey elements with a RegistryValue per value, and a
// RemoveRegistryKey for each key the un-register script deletes. Classes
// keys are written below HKLM or HKCU\Software\Classes; the installed file
// is "[#<file id>]". UTF-8; lines end in CR LF.
InstallerText wixFragmentOf(const InstallPlan& plan, const InstalledFile& file);

// The name the macros and the component take from the file name: letters,
// digits and "_", never starting with a digit.
std::string installerNameOf(std::string_view fileName);

// Whether a file's first bytes are those of a file of the format that this
// program writes (a registry script, or an include or fragment it wrote), so
// that a write may replace it. At most kScriptHeaderBytes are looked at.
bool startsLikeOutputOf(OutputFormat format, std::string_view firstBytes);

} // namespace scripts
