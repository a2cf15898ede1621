#pragma once
// Keys that a test creates in the private prefix's real registry and removes
// again, whatever the test's outcome.
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

// Registers a ProgID below HKEY_CLASSES_ROOT with a CLSID key; the class key
// under CLSID gets the given servers (an empty path: no such key).
struct FakeClass {
    std::string progId;
    std::string clsid;
    std::string inProcServer;
    std::string localServer;
};

class ScopedClasses {
public:
    explicit ScopedClasses(const std::vector<FakeClass>& classes);
    ~ScopedClasses();
    ScopedClasses(const ScopedClasses&) = delete;
    ScopedClasses& operator=(const ScopedClasses&) = delete;

private:
    std::vector<std::string> created_;
};

bool keyExists(HKEY root, const std::string& path, REGSAM view = 0);
// The default (or named) string value, or nothing when it cannot be read.
std::optional<std::string> readString(HKEY root, const std::string& path, const std::string& name = "");
void deleteTree(HKEY root, const std::string& path, REGSAM view = 0);

} // namespace testing_support
