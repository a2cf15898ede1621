#pragma once
// The class lookup: a ProgID's CLSID and the path of its server, and the text
// the main window shows for them. The reads are passed in, so the same rule
// serves the window (HKEY_CLASSES_ROOT) and the command line (either view).
#include "classes/Registry.h"

#include <functional>
#include <string>

namespace classes {

// Reads the default value of a key below the classes root as a string; a
// missing key or value reads as "".
using DefaultValueReader = std::function<std::string(const std::string& keyPath)>;
// Whether a key below the classes root exists.
using KeyTest = std::function<bool(const std::string& keyPath)>;

struct ClassLookup {
    std::string clsid;  // "" when the ProgID names no class
    std::string server; // InProcServer32, else LocalServer32; "" when both are empty
    bool localServer = false; // the server is the LocalServer32 value: a command line, not a DLL
    std::string text;   // "CLSID = ...\r\nInProcServer = ...\r\n", or "CLSID not found"
    classes::View view = classes::View::Bits64; // the view the class was read in
};

// One, two or three reads: the ProgID's CLSID, the class's InProcServer32,
// and only when that is empty its LocalServer32, as the main window shows
// them (a value of blanks is shown as it is; classes::hasServer says
// whether it names a server).
ClassLookup lookUpClass(const std::string& progId, const DefaultValueReader& readDefault);

// One view's reads, for the lookup in either view.
struct ViewReads {
    DefaultValueReader readDefault;
    KeyTest keyExists;
};

// The lookup as a program of either bitness finds the class: in the 64-bit
// view, or, where that view has no key for the class and the 32-bit view
// has one, the 32-bit view's server. A ProgID is the same in both views;
// a class in both shows its 64-bit server. The 64-bit view's key is tested
// only for a class whose server it does not find.
ClassLookup lookUpClassInEitherView(const std::string& progId, const ViewReads& bits64, const ViewReads& bits32);

} // namespace classes
