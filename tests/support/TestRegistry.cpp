#include "TestRegistry.h"

#include "ChildProcess.h"

#include <gtest/gtest.h>

namespace testing_support {

namespace {
HKEY createKey(HKEY root, const std::string& path, REGSAM view = 0)
{
    HKEY key = nullptr;
    LSTATUS status =
        RegCreateKeyExW(root, wideOf(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr);
    EXPECT_EQ(status, ERROR_SUCCESS) << "creating " << path;
    return status == ERROR_SUCCESS ? key : nullptr;
}
} // namespace

void deleteTree(HKEY root, const std::string& path, REGSAM view)
{
    if (path.empty()) return; // never the root itself
    // The tree is deleted below its parent, opened in the view.
    const size_t slash = path.find_last_of('\\');
    HKEY parent = root;
    if (slash != std::string::npos &&
        RegOpenKeyExW(root, wideOf(path.substr(0, slash)).c_str(), 0, KEY_ALL_ACCESS | view, &parent) != ERROR_SUCCESS)
        return;
    const std::wstring leaf = wideOf(slash == std::string::npos ? path : path.substr(slash + 1));
    RegDeleteTreeW(parent, leaf.c_str());
    RegDeleteKeyExW(parent, leaf.c_str(), view, 0);
    if (parent != root) RegCloseKey(parent);
}

bool keyExists(HKEY root, const std::string& path, REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, wideOf(path).c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::optional<std::string> readString(HKEY root, const std::string& path, const std::string& name)
{
    char buffer[4096];
    DWORD size = sizeof(buffer);
    if (RegGetValueA(root, path.c_str(), name.empty() ? nullptr : name.c_str(), RRF_RT_REG_SZ, nullptr, buffer,
                     &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::string(buffer);
}

ScopedKey::ScopedKey(HKEY root, std::string path, REGSAM view) : root_(root), path_(std::move(path)), view_(view)
{
    deleteTree(root_, path_, view_); // leftovers of an earlier, aborted run
    if (HKEY key = createKey(root_, path_, view_)) RegCloseKey(key);
}

ScopedKey::~ScopedKey() { deleteTree(root_, path_, view_); }

std::string ScopedKey::full(const std::string& subKey) const { return subKey.empty() ? path_ : path_ + "\\" + subKey; }

void ScopedKey::createSubKey(const std::string& subKey) const
{
    if (HKEY key = createKey(root_, full(subKey), view_)) RegCloseKey(key);
}

void ScopedKey::setRaw(const std::string& subKey, const std::string& name, DWORD type,
                       const std::vector<BYTE>& data) const
{
    HKEY key = createKey(root_, full(subKey), view_);
    if (!key) return;
    EXPECT_EQ(RegSetValueExA(key, name.c_str(), 0, type, data.data(), DWORD(data.size())), ERROR_SUCCESS);
    RegCloseKey(key);
}

void ScopedKey::setString(const std::string& subKey, const std::string& name, const std::string& value) const
{
    std::vector<BYTE> data(value.begin(), value.end());
    data.push_back(0);
    setRaw(subKey, name, REG_SZ, data);
}

void ScopedKey::setDword(const std::string& subKey, const std::string& name, DWORD value) const
{
    std::vector<BYTE> data(sizeof(value));
    memcpy(data.data(), &value, sizeof(value));
    setRaw(subKey, name, REG_DWORD, data);
}

void ScopedKey::setUnicode(const std::string& subKey, const std::string& name, const std::string& utf8,
                           DWORD type) const
{
    HKEY key = createKey(root_, full(subKey), view_);
    if (!key) return;
    std::wstring text = wideOf(utf8);
    text.push_back(L'\0');
    EXPECT_EQ(RegSetValueExW(key, wideOf(name).c_str(), 0, type, reinterpret_cast<const BYTE*>(text.data()),
                             DWORD(text.size() * sizeof(wchar_t))),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

namespace {
// The value on a ProgID key that the system may hold itself: this one is the tests'.
constexpr char kMark[] = "AddInRegTest";

// A string (or any type's bytes) with its NUL added, as RegSetValueExA takes it.
void setValue(HKEY root, const std::string& path, REGSAM view, const std::string& name, DWORD type,
              const std::string& data)
{
    HKEY key = createKey(root, path, view);
    if (!key) return;
    EXPECT_EQ(RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                             DWORD(data.size() + 1)),
              ERROR_SUCCESS)
        << path;
    RegCloseKey(key);
}
} // namespace

ScopedClasses::ScopedClasses(const std::vector<FakeClass>& classes, Place place) : place_(place)
{
    const std::string base = place.root == HKEY_CLASSES_ROOT ? "" : "Software\\Classes\\";
    for (const FakeClass& c : classes) {
        if (!c.progId.empty()) {
            const std::string progId = base + c.progId;
            if (c.onlyIfAbsent && keyExists(place.root, progId, KEY_WOW64_64KEY) &&
                !readString(place.root, progId, kMark))
                continue; // the system's own key
            deleteTree(place.root, progId, KEY_WOW64_64KEY);
            created_.push_back({progId, KEY_WOW64_64KEY});
            if (HKEY key = createKey(place.root, progId, KEY_WOW64_64KEY)) RegCloseKey(key);
            if (!c.clsid.empty()) setValue(place.root, progId + "\\CLSID", KEY_WOW64_64KEY, "", REG_SZ, c.clsid);
            if (c.onlyIfAbsent) setValue(place.root, progId, KEY_WOW64_64KEY, kMark, REG_SZ, "1");
        }
        if (c.clsid.empty()) continue;
        const std::string classKey = base + "CLSID\\" + c.clsid;
        deleteTree(place.root, classKey, place.view);
        created_.push_back({classKey, place.view});
        if (HKEY key = createKey(place.root, classKey, place.view)) RegCloseKey(key);
        if (!c.inProcServer.empty())
            setValue(place.root, classKey + "\\InProcServer32", place.view, "", c.serverType, c.inProcServer);
        if (!c.localServer.empty())
            setValue(place.root, classKey + "\\LocalServer32", place.view, "", REG_SZ, c.localServer);
        for (const ClassValue& v : c.values)
            setValue(place.root, v.subKey.empty() ? classKey : classKey + "\\" + v.subKey, place.view, v.name, REG_SZ,
                     v.data);
        for (const std::string& sub : c.subKeys)
            if (HKEY key = createKey(place.root, classKey + "\\" + sub, place.view)) RegCloseKey(key);
    }
}

ScopedClasses::~ScopedClasses()
{
    for (auto made = created_.rbegin(); made != created_.rend(); ++made)
        deleteTree(place_.root, made->path, made->view);
}

} // namespace testing_support
