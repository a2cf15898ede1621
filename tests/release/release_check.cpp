// Checks the programs of the release zip from the outside, under Wine. Used
// by package_test.sh; prints what it found and exits non-zero on a mismatch.
//
//   release_check resources EXE VERSION  the version resource says VERSION, and
//                                        icon 1 holds 16, 32, 48 and 256 pixels
//   release_check window TITLE SECONDS   a visible window of that title appears
//                                        in time, and closes when asked to
//   release_check template FILE          FILE is the built-in template, byte for byte
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "scripts/RegScript.h"

namespace {

int fail(const std::string& what)
{
    std::fprintf(stderr, "release_check: %s\n", what.c_str());
    return 1;
}

std::string versionString(const std::vector<char>& info, const char* name)
{
    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translation = nullptr;
    UINT size = 0;
    if (!VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &size) ||
        size < sizeof(Translation))
        return {};
    char path[96];
    std::snprintf(path, sizeof(path), "\\StringFileInfo\\%04x%04x\\%s", translation->language, translation->codePage, name);
    char* text = nullptr;
    if (!VerQueryValueA(info.data(), path, reinterpret_cast<void**>(&text), &size) || !text) return {};
    return text;
}

// "1.2.3" is written "1.2.3" or "1.2.3.<anything>".
bool sameVersion(const std::string& found, const std::string& wanted)
{
    return found == wanted || found.rfind(wanted + ".", 0) == 0;
}

int checkVersion(const char* exe, const std::string& wanted)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(exe, &ignored);
    if (!size) return fail(std::string(exe) + " has no version resource");
    std::vector<char> info(size);
    if (!GetFileVersionInfoA(exe, 0, size, info.data())) return fail("cannot read the version of " + std::string(exe));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (!VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize) || !fixed)
        return fail(std::string(exe) + " has no fixed version");
    const std::string fileVersion = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                                    std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                                    std::to_string(HIWORD(fixed->dwFileVersionLS));
    const std::string productVersion = std::to_string(HIWORD(fixed->dwProductVersionMS)) + "." +
                                       std::to_string(LOWORD(fixed->dwProductVersionMS)) + "." +
                                       std::to_string(HIWORD(fixed->dwProductVersionLS));
    const std::string fileText = versionString(info, "FileVersion");
    const std::string productText = versionString(info, "ProductVersion");
    std::printf("%s: FILEVERSION %s, PRODUCTVERSION %s, FileVersion \"%s\", ProductVersion \"%s\"\n", exe,
                fileVersion.c_str(), productVersion.c_str(), fileText.c_str(), productText.c_str());
    if (fileVersion != wanted || productVersion != wanted || !sameVersion(fileText, wanted) ||
        !sameVersion(productText, wanted))
        return fail(std::string(exe) + " does not say version " + wanted);
    return 0;
}

int checkIcon(const char* exe)
{
    HMODULE module = LoadLibraryExA(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) return fail("cannot open the resources of " + std::string(exe));
    std::set<int> sizes;
    if (HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */)) {
        // The group's header is three WORDs; each picture is described in 14 bytes, its width first (0 for 256).
        const auto* group = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
        const DWORD bytes = SizeofResource(module, found);
        const int count = group && bytes >= 6 ? group[4] | (group[5] << 8) : 0;
        for (int i = 0; i < count && 6u + 14u * unsigned(i + 1) <= bytes; ++i) {
            const int width = group[6 + 14 * i];
            sizes.insert(width ? width : 256);
        }
    }
    FreeLibrary(module);
    std::printf("%s: icon 1 has %zu pictures\n", exe, sizes.size());
    if (sizes != std::set<int>{16, 32, 48, 256}) return fail(std::string(exe) + " has no icon 1 of 16, 32, 48 and 256 pixels");
    return 0;
}

int checkWindow(const char* title, int seconds)
{
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    HWND window = nullptr;
    while (!(window = FindWindowA(nullptr, title)) || !IsWindowVisible(window)) {
        if (Clock::now() - start > std::chrono::seconds(seconds)) return fail(std::string("no window \"") + title + "\"");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    std::printf("window \"%s\" open after %lld ms\n", title, static_cast<long long>(ms));
    PostMessageA(window, WM_CLOSE, 0, 0);
    for (int i = 0; i < 100 && IsWindow(window); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (IsWindow(window)) return fail(std::string("window \"") + title + "\" did not close");
    return 0;
}

int checkTemplate(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::printf("%s: %zu bytes\n", path, text.size());
    if (!file.good() && !file.eof()) return fail(std::string("cannot read ") + path);
    if (text != scripts::builtInTemplate()) return fail(std::string(path) + " is not the built-in template");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "resources" && argc == 4) {
        const int version = checkVersion(argv[2], argv[3]);
        const int icon = checkIcon(argv[2]);
        return version || icon;
    }
    if (command == "window" && argc == 4) return checkWindow(argv[2], std::atoi(argv[3]));
    if (command == "template" && argc == 3) return checkTemplate(argv[2]);
    return fail("usage: release_check resources EXE VERSION | window TITLE SECONDS | template FILE");
}
