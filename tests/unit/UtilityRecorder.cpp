#include "UtilityRecorder.h"

#include "TestFiles.h"
#include "Ui.h"

#include <windows.h>

#include <fstream>
#include <sstream>

namespace testing_support {
UtilityRecorder::UtilityRecorder()
{
    static int made = 0;
    folder_ = buildFolder() + "utility stand-ins " + std::to_string(GetCurrentProcessId()) + "-" +
              std::to_string(++made) + "\\";
    removeFolder(folder_);
    CreateDirectoryA(folder_.c_str(), nullptr);
    for (const char* name : {"regsvr32.exe", "regedit.exe"})
        CopyFileA((buildFolder() + "fake_utility.exe").c_str(), (folder_ + name).c_str(), FALSE);
    char previous[MAX_PATH];
    previousDirectory_.assign(previous, GetCurrentDirectoryA(MAX_PATH, previous));
    SetCurrentDirectoryA(folder_.c_str());
}

UtilityRecorder::~UtilityRecorder()
{
    SetCurrentDirectoryA(previousDirectory_.c_str());
    // A stand-in may still be finishing: give it a moment to let go.
    for (int i = 0; i < 50 && !removeFolder(folder_); ++i) Sleep(100);
}

void UtilityRecorder::makeUnstartable(const std::string& exeName)
{
    DeleteFileA((folder_ + exeName).c_str());
    CreateDirectoryA((folder_ + exeName).c_str(), nullptr);
}

std::vector<std::string> UtilityRecorder::starts(size_t count) const
{
    std::vector<std::string> lines;
    waitUntil(
        [&] {
            lines.clear();
            std::ifstream log(folder_ + "started.log", std::ios::binary);
            std::string line;
            while (std::getline(log, line)) {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                lines.push_back(line);
            }
            return lines.size() >= count;
        },
        count ? 20000 : 1500);
    return lines;
}

} // namespace testing_support
