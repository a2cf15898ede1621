#pragma once
// Where the commands write: results on standard output, status ("Written:",
// the utilities' exit codes, warnings and errors) on standard error, the same
// in every command. Text is UTF-8 here; platform::writeText shows it.
#include "platform/Console.h"

#include <string>

namespace cli {

inline constexpr char kProgram[] = "AddInRegCli";

// A result; JSON goes out as UTF-8 bytes, text and CSV in the ANSI code page.
void printResult(const std::string& text, platform::Bytes bytes = platform::Bytes::AnsiText);
// A status line, with its line end added.
void printStatus(const std::string& line);
// An error or warning: "AddInRegCli: " and the line.
void printError(const std::string& line);

// Whether writing a result has failed (a full disk, a closed pipe).
bool resultsFailed();

// A count on standard error while many classes are read, when it is a
// console; gone once the reading ends.
class Progress {
public:
    explicit Progress(std::string what);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    void step();

private:
    std::string what_;
    bool shown_;
    unsigned long count_ = 0;
};

} // namespace cli
