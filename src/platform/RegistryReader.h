#pragma once
// The program's one reader of the Windows registry. It reads through the wide
// calls, so that every key and value name is exact, takes and gives names as
// UTF-8, grows its buffers to what the registry holds, and only reads: it
// caches nothing and holds no key open between calls. The classes of both
// hives and views are read here for the command line and the checks;
// RegistryAPI adapts it to the windows' rules.
#include "classes/Registry.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace platform {

class RegistryReader {
public:
    RegistryReader(classes::Hive hive, classes::View view) : hive_(hive), view_(view) {}

    classes::Hive hive() const { return hive_; }
    classes::View view() const { return view_; }

    // Paths are relative to the hive's classes ("" is the hive's top key).
    bool keyExists(const std::string& path) const;
    // A value of the key; the name "" is its default value. Nothing when the
    // key or the value is missing or cannot be read.
    std::optional<classes::Value> value(const std::string& path, const std::string& name = "") const;
    // The text of a REG_SZ or REG_EXPAND_SZ value; "" when missing or of
    // another type.
    std::string text(const std::string& path, const std::string& name = "") const;
    // Subkey names in the registry's enumeration order. In the 32-bit view
    // only the redirected keys (classes::isRedirectedClassesKey) are read
    // from Wow6432Node; every other key is the one both views share.
    std::vector<std::string> subKeys(const std::string& path) const;
    // Every value of the key, in the registry's enumeration order.
    std::vector<classes::NamedValue> values(const std::string& path) const;
    // Whether the key itself is a symbolic link (it is not followed).
    bool isLink(const std::string& path) const;
    // The key as itself, in one open: a link's own value and no subkeys.
    classes::KeyContent content(const std::string& path) const;

    // The key's full name for messages, such as
    // "HKEY_LOCAL_MACHINE\Software\Classes\CLSID".
    std::string fullName(const std::string& path) const;

private:
    classes::Hive hive_;
    classes::View view_;
};

// The classes of the system's registry, for the rules that take a source.
class SystemClasses : public classes::ClassesSource {
public:
    bool keyExists(classes::Hive hive, classes::View view, const std::string& path) const override;
    std::optional<classes::Value> value(classes::Hive hive, classes::View view, const std::string& path, const std::string& name) const override;
    std::vector<std::string> subKeys(classes::Hive hive, classes::View view, const std::string& path) const override;
    std::vector<classes::NamedValue> values(classes::Hive hive, classes::View view, const std::string& path) const override;
    bool isLink(classes::Hive hive, classes::View view, const std::string& path) const override;
    std::string fullName(classes::Hive hive, classes::View view, const std::string& path) const override;
    classes::KeyContent content(classes::Hive hive, classes::View view, const std::string& path) const override;
};

// One key below any open key (a root key, or one opened elsewhere), in the
// process's own view or the one `view` asks for (KEY_WOW64_32KEY or
// KEY_WOW64_64KEY), opened once for several reads. An empty path reads
// `root` itself, which is never closed here.
class OpenKey {
public:
    OpenKey(HKEY root, const std::string& path, REGSAM view = 0);
    ~OpenKey();
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

    explicit operator bool() const { return key_ != nullptr; }
    std::optional<classes::Value> value(const std::string& name) const;
    std::vector<std::string> subKeys() const;
    std::vector<classes::NamedValue> values() const;

private:
    HKEY key_ = nullptr;
    bool owned_ = false;
};

// The keys at and below `path` of `root` (its 64-bit view) that were
// written (created, or a value set or deleted) at or after `since`, a
// FILETIME as a number, each named by its path below `root`; a key whose
// change is only that of a subkey below it is left out. Reads the whole
// subtree: for naming keys after a change was seen, not for watching.
std::vector<std::string> keysWrittenSince(HKEY root, const std::string& path, std::uint64_t since);

// The text with its %NAME% references to environment variables replaced, as
// REG_EXPAND_SZ data is meant to be read. Unknown names stay as they are.
std::string expandEnvironment(const std::string& text);

} // namespace platform
