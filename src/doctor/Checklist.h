#pragma once
// What passes, warns or fails in an add-in's registration, decided from facts
// gathered elsewhere. Plain values in, plain values out: the registry and
// the files are read by the caller (Doctor.h).
#include "classes/ServerRule.h"
#include "doctor/Dependencies.h"
#include "doctor/PeImage.h"
#include "doctor/PeTables.h"
#include "doctor/TypeLibs.h"

#include <optional>
#include <string>
#include <vector>

namespace doctor {

// Which host's category the class must name.
enum class Host { R6, Older, Any };

enum class Status { Pass, Warn, Fail };

// "pass", "warn", "fail".
const char* statusName(Status status);

// The items, in the order a checklist gives them. The names are the JSON keys.
inline constexpr char kPresence[] = "presence";
inline constexpr char kHive[] = "hive";
inline constexpr char kServer[] = "server";
inline constexpr char kMachine[] = "machine";
inline constexpr char kExports[] = "exports";
inline constexpr char kDependencies[] = "dependencies";
inline constexpr char kLoad[] = "load"; // only when a load trial was asked for (platform/LoadTrial.h)
inline constexpr char kThreading[] = "threadingModel";
inline constexpr char kDotNet[] = "dotNet";
inline constexpr char kMenu[] = "menu";
inline constexpr char kCategories[] = "categories";
inline constexpr char kSettings[] = "settings";
inline constexpr char kTypeLib[] = "typeLib";       // only when the class names a TypeLib
inline constexpr char kInterfaces[] = "interfaces"; // with it: the coclass's interfaces
inline constexpr char kProgId[] = "progId";

struct Item {
    std::string key;
    Status status = Status::Pass;
    std::string reason; // one line
};

// A registry value as the checks see it.
struct ValueFact {
    bool present = false;
    std::string typeName;    // "REG_SZ", "REG_DWORD"...
    bool isText = false;     // REG_SZ or REG_EXPAND_SZ
    bool expandable = false; // REG_EXPAND_SZ
    std::string text;        // when isText: as stored, not expanded
};

// Where the server value leads.
struct ServerFacts {
    ValueFact value;            // InProcServer32's default value
    bool keyPresent = false;    // the InProcServer32 key
    classes::ServerFile loaded; // the file the view's loader loads, by the one server rule
    std::optional<PeImageInfo> image; // read from that file's first bytes when it was found
    // Below: only for a server that is not the .NET loader, found and a PE image.
    std::optional<PeTables> tables;               // nothing when the whole file cannot be read
    std::optional<DependencyWalk> dependencies;   // when the tables are readable and fit the view
};

struct DotNetFacts {
    ValueFact className; // "Class"
    ValueFact assembly;  // "Assembly"
    ValueFact codeBase;  // "CodeBase"
    std::optional<std::string> codeBasePath; // the decoded file URI; nothing when it is not one
    bool codeBaseExists = false;
};

// What the ProgID that was given leads to, in the checked view.
struct ProgIdFacts {
    std::string name;       // as given
    bool keyPresent = false;
    std::string clsid;      // its CLSID ("" when none), through CurVer if it has none itself
    std::string classProgId;              // the class's own ProgID subkey ("" when none)
    std::string classIndependentProgId;   // its VersionIndependentProgID ("" when none)
};

// Everything a checklist of one class is decided from.
struct ClassFacts {
    std::string clsid;
    bool in64 = false; // the class key, in either hive, of the 64-bit view
    bool in32 = false; // ... of the 32-bit view
    int view = 64;     // the view the facts below were read in
    bool viewAsked = false; // that view was asked for, as by a host of its bitness
    bool inMachine = false; // HKEY_LOCAL_MACHINE\Software\Classes, in that view
    bool inUser = false;    // HKEY_CURRENT_USER\Software\Classes
    // Below: as the merged classes of the view show them, the per-user copy
    // of a key winning over the machine's.
    ServerFacts server;
    ValueFact threadingModel;
    std::optional<DotNetFacts> dotNet; // only for mscoree.dll naming Class, Assembly or CodeBase
    ValueFact menuName;                // the class key's default value
    bool descriptionKey = false;
    std::vector<std::string> implementedCategories; // subkey names
    std::vector<std::string> requiredCategories;
    bool settingsKey = false;
    ValueFact loadOnStartUp;
    ValueFact type;
    ValueFact supportedVersion; // SupportedSoftwareVersionGreaterThan
    std::optional<ProgIdFacts> progId; // only when a ProgID was given
    // Only when the class has a TypeLib key: its library (with the class's
    // Version), and the interfaces its coclass implements there.
    std::optional<TypeLibFacts> typeLib;
    std::vector<InterfaceFacts> interfaces;
};

struct Checklist {
    std::string target; // as given on the command line or by the window
    ClassFacts facts;
    std::vector<Item> items;
    Status result() const; // the worst item
};

// The items for the facts, in the fixed order. A class in neither view gets
// the presence item (and the ProgID's) only.
std::vector<Item> judge(const ClassFacts& facts, Host host);

// ---- helpers the gathering shares ------------------------------------------

enum class TargetKind { ProgId, Clsid, Path };

// A target that starts with "{" is a CLSID; one with "\", "/" or ":" in it,
// or ending in ".dll", a path; anything else a ProgID.
TargetKind targetKindOf(const std::string& target);

// Whether a server value's path names the .NET loader.
bool isDotNetLoader(const std::string& path);

// Whether a host of the view (32 or 64) loads a DLL of the image's machine.
bool fitsView(const PeImageInfo& image, int view);

// "x64", "ARM64", "x86", "machine 0x1C4", "not a PE image".
std::string machineName(const PeImageInfo& image);

} // namespace doctor
