#pragma once
// A machine held in memory for the doctor's plain rules: class registrations
// of both hives and views, files, folders and the loader's search folders.
// Shared by the rule tests and the fuzz targets.
#include "classes/Registry.h"
#include "classes/ServerRule.h"
#include "doctor/Doctor.h"
#include "text/Text.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace testing_image {

struct KeyImage {
    std::map<std::string, classes::Value> values; // by upper-case name; the name as given in `names`
    std::map<std::string, std::string> names;
    bool link = false;
};

class MachineImage : public classes::ClassesSource, public classes::ServerFileSystem, public doctor::FileReader {
public:
    // Keys by hive, view and path below the classes key ("" is that key). The
    // 32-bit view of a key lives apart, as the system redirects it.
    KeyImage& key(classes::Hive hive, classes::View view, const std::string& path)
    {
        std::string at;
        for (const std::string& part : split(path)) {
            at = at.empty() ? part : at + "\\" + part;
            keys_[id(hive, view, at)];
            parts_[id(hive, view, at)] = at;
        }
        return keys_[id(hive, view, path)];
    }
    void setText(classes::Hive hive, classes::View view, const std::string& path, const std::string& name,
                 const std::string& text, classes::ValueType type = classes::ValueType::String)
    {
        setValue(hive, view, path, name, classes::Value::ofText(text, type));
    }
    void setValue(classes::Hive hive, classes::View view, const std::string& path, const std::string& name,
                  classes::Value value)
    {
        KeyImage& k = key(hive, view, path);
        k.values[text::upperAscii(name)] = std::move(value);
        k.names[text::upperAscii(name)] = name;
    }
    std::set<std::string> files;   // upper-case full paths
    std::set<std::string> folders; // upper-case full paths
    std::map<std::string, std::string> environment{{"SYSTEMROOT", "C:\\Windows"}};

    // classes::ClassesSource
    bool keyExists(classes::Hive hive, classes::View view, const std::string& path) const override
    {
        return path.empty() || keys_.contains(id(hive, view, path));
    }
    std::optional<classes::Value> value(classes::Hive hive, classes::View view, const std::string& path,
                                         const std::string& name) const override
    {
        const auto k = keys_.find(id(hive, view, path));
        if (k == keys_.end()) return std::nullopt;
        const auto v = k->second.values.find(text::upperAscii(name));
        if (v == k->second.values.end()) return std::nullopt;
        return v->second;
    }
    std::vector<std::string> subKeys(classes::Hive hive, classes::View view, const std::string& path) const override
    {
        std::vector<std::string> names;
        const std::string prefix = id(hive, view, path) + (path.empty() ? "" : "\\");
        for (const auto& [at, whole] : parts_) {
            if (at.compare(0, prefix.size(), prefix) != 0 || at.size() == prefix.size()) continue;
            const std::string rest = at.substr(prefix.size());
            if (rest.find('\\') == std::string::npos) names.emplace_back(text::fileNameOf(whole));
        }
        return names;
    }
    std::vector<classes::NamedValue> values(classes::Hive hive, classes::View view,
                                             const std::string& path) const override
    {
        std::vector<classes::NamedValue> found;
        const auto k = keys_.find(id(hive, view, path));
        if (k == keys_.end()) return found;
        for (const auto& [upper, v] : k->second.values) found.push_back({k->second.names.at(upper), v});
        return found;
    }
    bool isLink(classes::Hive hive, classes::View view, const std::string& path) const override
    {
        const auto k = keys_.find(id(hive, view, path));
        return k != keys_.end() && k->second.link;
    }
    std::string fullName(classes::Hive hive, classes::View view, const std::string& path) const override
    {
        std::string name = hive == classes::Hive::UserClasses ? "HKEY_CURRENT_USER\\Software\\Classes"
                                                              : "HKEY_LOCAL_MACHINE\\Software\\Classes";
        if (view == classes::View::Bits32) name += "\\Wow6432Node";
        return path.empty() ? name : name + "\\" + path;
    }

    // classes::ServerFileSystem
    classes::PathKind kindOf(const std::string& path) const override
    {
        std::string canonical = text::upperAscii(path);
        for (char& c : canonical)
            if (c == '/') c = '\\';
        if (files.contains(canonical)) return classes::PathKind::File;
        if (folders.contains(canonical)) return classes::PathKind::Folder;
        return classes::PathKind::Missing;
    }
    std::string expand(const std::string& text) const override
    {
        std::string out;
        for (size_t i = 0; i < text.size();) {
            const size_t end = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
            const auto found = end == std::string::npos ? environment.end()
                                                        : environment.find(text::upperAscii(text.substr(i + 1, end - i - 1)));
            if (found == environment.end()) {
                out += text[i++];
            } else {
                out += found->second;
                i = end + 1;
            }
        }
        return out;
    }
    std::vector<std::string> searchFolders(classes::View view) const override
    {
        std::vector<std::string> folders{view == classes::View::Bits32 ? system32BitFolder() : systemFolder(),
                                         "C:\\Windows"};
        folders.insert(folders.end(), path.begin(), path.end());
        return folders;
    }
    std::string systemFolder() const override { return "C:\\Windows\\System32"; }
    std::string system32BitFolder() const override { return "C:\\Windows\\SysWOW64"; }
    std::vector<std::string> path{"C:\\Tools"};

    // What a file holds, by upper-case full path; a file without an entry holds "MZ".
    std::map<std::string, std::string> contents;
    std::vector<std::string> knownDllNames;
    void addFile(const std::string& file, std::string bytes)
    {
        files.insert(text::upperAscii(file));
        contents[text::upperAscii(file)] = std::move(bytes);
    }

    // doctor::FileReader
    std::optional<std::string> firstBytes(const std::string& file, size_t count) const override
    {
        const std::optional<doctor::ModuleFile> whole = wholeFile(file);
        if (!whole) return std::nullopt;
        return std::string(whole->bytes.substr(0, count));
    }
    std::optional<doctor::ModuleFile> wholeFile(const std::string& file) const override
    {
        if (kindOf(file) != classes::PathKind::File) return std::nullopt;
        const auto found = contents.find(text::upperAscii(file));
        auto copy = std::make_shared<const std::string>(found == contents.end() ? std::string("MZ") : found->second);
        const std::string_view bytes(*copy);
        return doctor::ModuleFile{std::move(copy), bytes};
    }
    std::vector<std::string> knownDlls() const override { return knownDllNames; }
    bool stubs = false;
    bool stubsMissingFunctions() const override { return stubs; }
    std::string absolutePath(const std::string& file) const override { return file; }
    // What the type-library loader makes of a file, by upper-case full path;
    // a file without an entry does not load.
    std::map<std::string, doctor::TypeLibFile> typeLibs;
    doctor::TypeLibFile readTypeLib(const std::string& file) const override
    {
        const auto found = typeLibs.find(text::upperAscii(file));
        if (kindOf(file) != classes::PathKind::File || found == typeLibs.end()) return {};
        return found->second;
    }

    doctor::Machine machine() const { return {*this, *this, *this}; }

private:
    static std::vector<std::string> split(const std::string& path)
    {
        std::vector<std::string> parts;
        size_t start = 0;
        while (start <= path.size() && !path.empty()) {
            const size_t end = std::min(path.find('\\', start), path.size());
            parts.push_back(path.substr(start, end - start));
            start = end + 1;
        }
        return parts;
    }
    static std::string id(classes::Hive hive, classes::View view, const std::string& path)
    {
        return std::to_string(static_cast<int>(hive)) + std::to_string(static_cast<int>(view)) + "|" +
               text::upperAscii(path);
    }
    std::map<std::string, KeyImage> keys_;
    std::map<std::string, std::string> parts_; // id -> the path as given
};

} // namespace testing_image
