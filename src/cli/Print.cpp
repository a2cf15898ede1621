#include "cli/Print.h"

#include "text/Text.h"

namespace cli {

namespace {
bool failed = false;
} // namespace

void printResult(const std::string& text, platform::Bytes bytes)
{
    if (!platform::writeText(platform::Stream::Out, text, bytes)) failed = true;
}

void printStatus(const std::string& line) { platform::writeText(platform::Stream::Err, line + text::kCrLf); }

void printError(const std::string& line) { printStatus(std::string(kProgram) + ": " + line); }

bool resultsFailed() { return failed; }

Progress::Progress(std::string what) : what_(std::move(what)), shown_(platform::isConsole(platform::Stream::Err)) {}

Progress::~Progress()
{
    if (!shown_ || count_ < 500) return;
    std::string blank(what_.size() + 24, ' ');
    blank.front() = '\r';
    blank.back() = '\r';
    platform::writeText(platform::Stream::Err, blank);
}

void Progress::step()
{
    if (!shown_ || ++count_ % 500 != 0) return;
    platform::writeText(platform::Stream::Err, "\r" + what_ + ": " + std::to_string(count_));
}

} // namespace cli
