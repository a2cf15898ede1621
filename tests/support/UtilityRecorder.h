#pragma once
// Records the programs the code under test starts, instead of starting them:
// this program's CreateProcessW is routed here while an instance lives. It
// also makes a fresh folder the current directory, so no template file or
// stand-in lies where the code looks.
#include "ImportPatch.h"

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
    // Starting a program of this file name fails from now on.
    void makeUnstartable(const std::string& exeName);
    // The "command line|show state" of each start so far.
    std::vector<std::string> starts() const;
    // The full path of the program each start named.
    std::vector<std::string> applications() const;

private:
    struct Start {
        std::string application;
        std::string commandLine;
        int showState;
    };
    static int __stdcall recordStart(const wchar_t* application, wchar_t* commandLine, void*, void*, int,
                                     unsigned long, void*, const wchar_t* folder, void* startupInfo,
                                     void* processInformation);

    static inline UtilityRecorder* current_ = nullptr;
    UtilityRecorder* outer_ = nullptr; // a recorder this one is nested in
    std::string folder_;
    std::string previousDirectory_;
    std::vector<std::string> unstartable_;
    std::vector<Start> starts_;
    ImportPatch patch_;
};

} // namespace testing_support
