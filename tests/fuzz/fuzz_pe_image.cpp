// The PE header reader never reads past the bytes it is given.
#include "FuzzInput.h"
#include "doctor/PeImage.h"

using namespace fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const doctor::PeImageInfo info = doctor::readPeImage(bytes);
    if (info.machine == doctor::PeMachine::NotPe) {
        check(info.machineCode == 0 && !info.isDll, "nothing more for a file that is no PE image");
    } else {
        check(bytes.substr(0, 2) == "MZ", "a PE image starts with MZ");
        check((info.machine == doctor::PeMachine::Other) ==
                  (info.machineCode != 0x14C && info.machineCode != 0x8664 && info.machineCode != 0xAA64),
              "the machine matches its code");
    }
    return 0;
}
