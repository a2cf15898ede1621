#pragma once
// The rules of a captured registration: what a DLL's DllRegisterServer wrote
// (read from the scratch key that stood in for the predefined keys), taken
// to the keys a register script writes for the add-in's bitness and hive,
// with the server's path put in; and the un-register script, which deletes
// only what the registration added to the registry as it was.
#include "classes/Registry.h"
#include "scripts/RegFileReader.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scripts {

// The predefined key a DLL wrote through. OtherViewClasses is
// HKEY_CLASSES_ROOT in the view the DLL's bitness does not read, written
// with KEY_WOW64_32KEY or KEY_WOW64_64KEY (helper/OtherView.h).
enum class CapturedRoot { ClassesRoot, LocalMachine, CurrentUser, Users, OtherViewClasses };

// The exchange with the helper program that runs the DLL (helper/RegisterIntoScratch.h):
// the subkeys of the scratch key that stand in for the predefined keys, and
// the fields of its answer (text/Fields.h).
struct StandIn {
    CapturedRoot root;
    const char* subKey;
};
inline constexpr std::array<StandIn, 5> kStandIns{{
    {CapturedRoot::ClassesRoot, "HKCR"},
    {CapturedRoot::LocalMachine, "HKLM"},
    {CapturedRoot::CurrentUser, "HKCU"},
    {CapturedRoot::Users, "HKU"},
    {CapturedRoot::OtherViewClasses, "HKCR other view"},
}};
namespace answer {
inline constexpr char kStage[] = "stage";   // the step under way: override, load, register, done
inline constexpr char kModule[] = "module"; // the loaded module's file, as the loader names it
inline constexpr char kLoadError[] = "loadError"; // the loader's error when the DLL did not load
inline constexpr char kNoEntry[] = "noEntry";     // "1" when the DLL exports no DllRegisterServer
inline constexpr char kResult[] = "result";       // DllRegisterServer's HRESULT, "0x%08X"
inline constexpr char kOverrideError[] = "overrideError"; // the system's error when a predefined key
                                                          // could not be pointed at its stand-in
} // namespace answer

// One key as the capture found it: its path below the predefined key, as
// the DLL named it, and its values. Keys come parents first.
struct CapturedKey {
    CapturedRoot root = CapturedRoot::ClassesRoot;
    std::string path;
    std::vector<classes::NamedValue> values;
    bool hasSubKeys = false;
};

// Where the scripts register: the DLL's bitness, and the machine's classes
// (HKEY_CLASSES_ROOT) or the user's (HKEY_CURRENT_USER\Software\Classes).
struct CaptureTarget {
    int bits = 64;
    bool perUser = false;
};

// A key of the scripts: its root and the path below it.
struct ScriptKey {
    RegRoot root = RegRoot::ClassesRoot;
    std::string path;
    std::string fullName() const;
};

// The path below `prefix` when `path` is `prefix` or lies below it ("" for
// `prefix` itself), compared without regard to case.
std::optional<std::string> pathBelow(const std::string& path, std::string_view prefix);

// A key below a classes key (the machine's or the user's) in the target:
// "HKEY_CLASSES_ROOT\CLSID\{...}", "HKEY_CLASSES_ROOT\Wow6432Node\CLSID\{...}"
// for 32 bits, "HKEY_CURRENT_USER\Software\Classes\..." per user.
ScriptKey classesKeyOf(const std::string& classesPath, const CaptureTarget& target);

// Where a captured key goes in the target, or nothing when the target
// cannot hold it: a key of the machine or of HKEY_USERS outside the classes,
// in a per-user script. Class keys, written through any of the predefined
// keys, go to the target's classes; HKEY_LOCAL_MACHINE\Software outside the
// classes to its Wow6432Node for 32 bits.
std::optional<ScriptKey> targetKeyOf(CapturedRoot root, const std::string& path, const CaptureTarget& target);

// The value with every spelling of the DLL's path (ASCII letters in either
// case) replaced by `server`, in the strings of a REG_SZ, REG_EXPAND_SZ or
// REG_MULTI_SZ; other values, and strings that are not valid UTF-16, as
// they are. The longest spelling is tried first.
classes::Value withServerReplaced(const classes::Value& value, const std::vector<std::string>& spellings,
                                   const std::string& server);

// Whether the captured keys register a class whose in-process server is
// the DLL: one of its spellings, or its file name alone. A DLL that then
// fails with "class not registered" asked COM for one of its own classes,
// which COM looks for in the real registry, not in the scratch key.
bool registersOwnClass(const std::vector<CapturedKey>& captured, const std::vector<std::string>& spellings);

struct PlannedKey {
    ScriptKey key;
    std::vector<classes::NamedValue> values;
    bool written = false; // a register script line: it holds values, or nothing at all below it
};

struct CapturePlan {
    std::vector<PlannedKey> keys;      // parents first
    std::vector<std::string> leftOut;  // full names of keys the target cannot hold
    std::vector<std::string> problems; // keys and values no script can carry, one sentence each
};

// Keys outside the classes that system code a registration calls reads, and
// fills with its defaults where they are missing: the shell's folders
// (SHGetFolderPath), the profiles' folder, the user's TEMP and TMP, the
// cryptography providers and the machine's ID (CryptAcquireContext). In an
// empty scratch key they would be missing, and their defaults would read as
// the DLL's registration (a new machine ID each time). The capture copies
// them from the real registry into the scratch key before the DLL runs, and
// keeps only what the DLL changed there (withoutSeed).
struct SeededKey {
    CapturedRoot root;
    const char* path;
};
inline constexpr std::array<SeededKey, 9> kSeededKeys{{
    {CapturedRoot::LocalMachine, "Software\\Microsoft\\Cryptography"},
    {CapturedRoot::LocalMachine, "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList"},
    {CapturedRoot::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"},
    {CapturedRoot::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders"},
    {CapturedRoot::CurrentUser, "Environment"},
    {CapturedRoot::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"},
    {CapturedRoot::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders"},
    {CapturedRoot::Users, ".Default\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"},
    {CapturedRoot::Users, ".Default\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders"},
}};

// The captured keys less what the seed put there (`seed`: the scratch key as
// read before the DLL ran): a value the DLL left as it was is dropped, and
// so is a key that was there with nothing of it changed; a key or value the
// DLL added, or a value it changed, stays.
std::vector<CapturedKey> withoutSeed(const std::vector<CapturedKey>& captured, const std::vector<CapturedKey>& seed);

// Each value a plan writes outside the classes, by its key's full name and
// its name ("(default)" for the default value): what a report names, since
// merging it on another machine changes more than a class.
std::vector<std::string> valuesOutsideClasses(const CapturePlan& plan);

// The captured keys taken to the target, the server's path put in (nothing
// replaced when `server` is empty).
CapturePlan planCapture(const std::vector<CapturedKey>& captured, const CaptureTarget& target,
                        const std::vector<std::string>& spellings, const std::string& server);

// The register script: REGEDIT4 when every line fits it (see fitsRegedit4),
// else Version 5.00 in UTF-16 LE, so that nothing is read as another thing.
// `moreLines` (UTF-8, key and value lines without a header) follows the
// captured keys. Lines end in CR LF.
std::string registerScriptOf(const CapturePlan& plan, const std::string& moreLines = "");

// What the registry holds before the registration, in the script's names
// (HKEY_CLASSES_ROOT as programs see it).
struct ExistingKeys {
    std::function<bool(RegRoot, const std::string& path)> keyExists;
    std::function<bool(RegRoot, const std::string& path, const std::string& name)> valueExists;
};

// The un-register script: "[-key]" for each topmost key that did not exist
// before (a parent the registration created with it included, such as the
// Wow6432Node of a 32-bit per-user class), "name"=- for each value added to a key that did; a key that
// existed is never deleted, nor a value that existed (its earlier data is
// unknown). Same encoding rule as the register script; `moreLines` follows.
std::string unRegisterScriptOf(const CapturePlan& plan, const ExistingKeys& existing,
                               const std::string& moreLines = "");

// The lines of a REGEDIT4 script after its header line, each key line below
// HKEY_CLASSES_ROOT ("[" or "[-") moved to the target, as a captured key of
// the classes is. For an add-in template's keys beside a capture.
std::string bodyForTarget(const std::string& script, const CaptureTarget& target);

// The whole script, its header line kept and its keys moved as bodyForTarget
// moves them: a template's script for a server of the target's bitness.
std::string scriptForTarget(const std::string& script, const CaptureTarget& target);

} // namespace scripts
