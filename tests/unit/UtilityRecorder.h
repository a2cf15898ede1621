#pragma once
// Puts stand-ins for regsvr32.exe and regedit.exe in a fresh folder and makes
// it the current directory, where the program's starts find them before the
// system's own; or puts a folder of that name there, so the start fails.
#include <string>
#include <vector>

namespace testing_support {

class UtilityRecorder {
public:
    UtilityRecorder();
    ~UtilityRecorder();
    UtilityRecorder(const UtilityRecorder&) = delete;
    UtilityRecorder& operator=(const UtilityRecorder&) = delete;

    const std::string& folder() const { return folder_; } // with a trailing separator
    void makeUnstartable(const std::string& exeName);
    // The "command line|show state" lines of the starts so far, waiting until
    // at least `count` have arrived.
    std::vector<std::string> starts(size_t count) const;

private:
    std::string folder_;
    std::string previousDirectory_;
};

} // namespace testing_support
