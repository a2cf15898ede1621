#pragma once
// Keys that a test creates in the private prefix's real registry and removes
// again, whatever the test's outcome.
#include "TestClsid.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace testing_support {

// Creates key `path` (UTF-8) below `root` (and its parents) on construction; deletes
// the whole tree below `path` on destruction.
class ScopedKey {
public:
    // `view`: KEY_WOW64_32KEY for the 32-bit view; 0 for the program's own.
    ScopedKey(HKEY root, std::string path, REGSAM view = 0);
    ~ScopedKey();
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;

    const std::string& path() const { return path_; }

    // Values of this key or of a subkey ("" names this key itself; the value
    // name "" the default value). Subkeys are created as needed.
    void setString(const std::string& subKey, const std::string& name, const std::string& value) const;
    void setRaw(const std::string& subKey, const std::string& name, DWORD type, const std::vector<BYTE>& data) const;
    void setDword(const std::string& subKey, const std::string& name, DWORD value) const;
    // A string value from UTF-8, stored in UTF-16 as the system stores it, its
    // NUL added; NULs inside it are kept (for a REG_MULTI_SZ).
    void setUnicode(const std::string& subKey, const std::string& name, const std::string& utf8,
                    DWORD type = REG_SZ) const;
    void createSubKey(const std::string& subKey) const;

private:
    std::string full(const std::string& subKey) const;
    HKEY root_;
    std::string path_;
    REGSAM view_ = 0;
};

// Where test classes are registered: HKEY_CLASSES_ROOT itself, or the
// Software\\Classes key of HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER, in a view.
struct Place {
    HKEY root = HKEY_CLASSES_ROOT;
    REGSAM view = 0; // KEY_WOW64_32KEY or KEY_WOW64_64KEY; 0 for the program's own
};
inline const Place kMachine64{HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY};
inline const Place kMachine32{HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY};
inline const Place kUser{HKEY_CURRENT_USER, KEY_WOW64_64KEY};

// A string of the class key or of a subkey of it ("" names the key itself).
struct ClassValue {
    std::string subKey;
    std::string name;
    std::string data;
};

// A test class: its ProgID key (in both views, as the system shares it) and
// its class key under CLSID, with the given servers.
struct FakeClass {
    std::string progId;        // "" for none
    std::string clsid;         // "" for a ProgID that names no class
    std::string inProcServer;  // "" for no InProcServer32 key
    std::string localServer;   // "" for no LocalServer32 key
    DWORD serverType = REG_SZ; // of the in-process server's value: its bytes (NULs too), one NUL added
    std::vector<ClassValue> values{};   // more strings of the class key
    std::vector<std::string> subKeys{}; // empty subkeys of the class key
    // A ProgID name the system may hold itself: left alone where it does.
    bool onlyIfAbsent = false;
};

// Registers the classes on construction, each key emptied first of what an
// aborted run left; removes them again on destruction.
class ScopedClasses {
public:
    explicit ScopedClasses(const std::vector<FakeClass>& classes, Place place = {});
    ~ScopedClasses();
    ScopedClasses(const ScopedClasses&) = delete;
    ScopedClasses& operator=(const ScopedClasses&) = delete;

private:
    struct Made {
        std::string path;
        REGSAM view;
    };
    Place place_;
    std::vector<Made> created_;
};

bool keyExists(HKEY root, const std::string& path, REGSAM view = 0);
// The default (or named) string value, or nothing when it cannot be read.
std::optional<std::string> readString(HKEY root, const std::string& path, const std::string& name = "");
void deleteTree(HKEY root, const std::string& path, REGSAM view = 0);

} // namespace testing_support
