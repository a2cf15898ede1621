#pragma once
// An error raised to the caller with a number and a description. One that no
// handler takes is reported in a critical message box and ends the program.
#include <stdexcept>
#include <string>

namespace platform {

// The numbers of the errors the program reports besides its own.
inline constexpr long kOutOfMemory = 7;
inline constexpr long kInternalError = 51;

class AppError : public std::runtime_error {
public:
    AppError(long number, const std::string& description)
        : std::runtime_error(description), number_(number) {}
    long number() const { return number_; }
    std::string description() const { return what(); }

private:
    long number_;
};

} // namespace platform
