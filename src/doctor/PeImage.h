#pragma once
// What a server file's first bytes say about it as a PE image: the machine it
// was built for and whether it is a DLL. Enough to tell a 32-bit server from
// a 64-bit one without loading it.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace doctor {

enum class PeMachine {
    NotPe, // no "MZ", the PE header's offset outside the bytes, or no "PE\0\0" there
    X86,   // 0x014C
    X64,   // 0x8664
    Arm64, // 0xAA64
    Other, // any other machine code
};

struct PeImageInfo {
    PeMachine machine = PeMachine::NotPe;
    uint16_t machineCode = 0; // as in the file header; 0 for NotPe
    bool isDll = false;       // IMAGE_FILE_DLL in the file header's characteristics
};

// How many first bytes of a file readPeImage is meant to be given. Linkers put
// the PE header well inside them.
inline constexpr size_t kPeProbeBytes = 4096;

// Reads the DOS header and the PE file header from a file's first bytes;
// never reads past them.
PeImageInfo readPeImage(std::string_view firstBytes);

} // namespace doctor
