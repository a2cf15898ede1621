#include "doctor/PeImage.h"

namespace doctor {

namespace {

constexpr size_t kLfanewOffset = 0x3C;
constexpr size_t kFileHeaderSize = 20; // after the four signature bytes
constexpr uint16_t kDllCharacteristic = 0x2000;

uint32_t littleEndian(std::string_view bytes, size_t at, size_t count)
{
    uint32_t value = 0;
    for (size_t i = count; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

} // namespace

PeImageInfo readPeImage(std::string_view firstBytes)
{
    if (firstBytes.size() < kLfanewOffset + 4 || firstBytes.substr(0, 2) != "MZ") return {};
    const size_t header = littleEndian(firstBytes, kLfanewOffset, 4);
    // Compared as a difference, so that an offset near 4 GB cannot wrap around.
    if (header > firstBytes.size() - 4 - kFileHeaderSize) return {};
    if (firstBytes.substr(header, 4) != std::string_view("PE\0\0", 4)) return {};

    PeImageInfo info;
    info.machineCode = static_cast<uint16_t>(littleEndian(firstBytes, header + 4, 2));
    info.isDll = (littleEndian(firstBytes, header + 4 + 18, 2) & kDllCharacteristic) != 0;
    switch (info.machineCode) {
    case 0x014C: info.machine = PeMachine::X86; break;
    case 0x8664: info.machine = PeMachine::X64; break;
    case 0xAA64: info.machine = PeMachine::Arm64; break;
    default: info.machine = PeMachine::Other; break;
    }
    return info;
}

} // namespace doctor
