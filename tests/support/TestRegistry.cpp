#include "TestRegistry.h"

#include "ChildProcess.h"

#include <gtest/gtest.h>

namespace testing_support {

namespace {
HKEY createKey(HKEY root, const std::string& path, REGSAM view = 0)
{
    HKEY key = nullptr;
    LSTATUS status =
        RegCreateKeyExW(root, wide(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr);
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
        RegOpenKeyExW(root, wide(path.substr(0, slash)).c_str(), 0, KEY_ALL_ACCESS | view, &parent) != ERROR_SUCCESS)
        return;
    const std::wstring leaf = wide(slash == std::string::npos ? path : path.substr(slash + 1));
    RegDeleteTreeW(parent, leaf.c_str());
    RegDeleteKeyExW(parent, leaf.c_str(), view, 0);
    if (parent != root) RegCloseKey(parent);
}

bool keyExists(HKEY root, const std::string& path, REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, wide(path).c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
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
    std::wstring text = wide(utf8);
    text.push_back(L'\0');
    EXPECT_EQ(RegSetValueExW(key, wide(name).c_str(), 0, type, reinterpret_cast<const BYTE*>(text.data()),
                             DWORD(text.size() * sizeof(wchar_t))),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

ScopedClasses::ScopedClasses(const std::vector<FakeClass>& classes)
{
    for (const FakeClass& c : classes) {
        deleteTree(HKEY_CLASSES_ROOT, c.progId);
        HKEY key = createKey(HKEY_CLASSES_ROOT, c.progId + (c.clsid.empty() ? "" : "\\CLSID"));
        created_.push_back(c.progId);
        if (!key) continue;
        if (!c.clsid.empty()) {
            RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(c.clsid.c_str()),
                           DWORD(c.clsid.size() + 1));
            std::string classKey = "CLSID\\" + c.clsid;
            deleteTree(HKEY_CLASSES_ROOT, classKey);
            created_.push_back(classKey);
            if (HKEY k = createKey(HKEY_CLASSES_ROOT, classKey)) RegCloseKey(k);
            for (auto [sub, value] : {std::pair{"InProcServer32", c.inProcServer}, {"LocalServer32", c.localServer}}) {
                if (value.empty()) continue;
                if (HKEY k = createKey(HKEY_CLASSES_ROOT, classKey + "\\" + sub)) {
                    RegSetValueExA(k, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                   DWORD(value.size() + 1));
                    RegCloseKey(k);
                }
            }
        }
        RegCloseKey(key);
    }
}

ScopedClasses::~ScopedClasses()
{
    for (const std::string& path : created_) deleteTree(HKEY_CLASSES_ROOT, path);
}

} // namespace testing_support
