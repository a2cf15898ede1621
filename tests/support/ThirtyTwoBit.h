#pragma once
// The 32-bit side of the tests: whether 32-bit programs run here, and the
// system's 32-bit regsvr32 and COM client, as a 32-bit installer and host
// use them.
#include <string>
#include <vector>

namespace testing_support {

// Whether 32-bit programs run here (the 32-bit helper answers). Where the
// test run requires them (ADDINREG_REQUIRE_32BIT=1, as scripts/test sets it
// wherever its 32-bit lane runs), their absence fails the calling test
// instead of letting it be skipped.
bool runs32Bit();
inline constexpr char kNo32Bit[] = "this machine does not run 32-bit programs (no 32-bit Wine)";

// The 32-bit regsvr32 of the system (SysWOW64) with these arguments; its
// exit code, or -1 when it did not start or end in time.
unsigned long runRegsvr32x86(const std::vector<std::string>& args);

// com_activator32.exe's answer for the class (see tests/loader/activator.cpp):
// a 32-bit host's COM loader asked in-process.
std::string activate32(const std::string& clsid);

} // namespace testing_support
