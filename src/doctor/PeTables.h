#pragma once
// The tables of a whole PE file that decide whether the loader can bind it:
// its sections, the DLLs and functions it imports (at load time and delayed)
// and the functions it exports. Read from the file's bytes as they lie on
// disk; every read is checked against them, and every count is capped, so
// that a damaged file gives "not readable" and nothing worse.
#include "doctor/PeImage.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace doctor {

struct PeSection {
    std::string name; // up to 8 characters
    uint32_t virtualAddress = 0;
    uint32_t virtualSize = 0;
    uint32_t rawOffset = 0;
    uint32_t rawSize = 0;
};

// One function a module imports: by name, or by ordinal when the name is empty.
struct PeImportedFunction {
    std::string name;
    uint16_t ordinal = 0; // when by ordinal
};

struct PeImportedModule {
    std::string dll; // as the import names it
    std::vector<PeImportedFunction> functions;
};

struct PeExport {
    uint32_t ordinal = 0;    // the base added
    std::string name;        // "" for an export by ordinal only
    std::string forwarder;   // "NTDLL.RtlAllocateHeap", "api-ms-...-l1-1-0.#12"; "" for code in the module
};

struct PeTables {
    bool readable = false;
    std::string problem; // when not readable: what could not be read
    PeImageInfo image;
    bool pe32Plus = false; // the optional header's magic is 0x20B
    std::vector<PeSection> sections;
    std::vector<PeImportedModule> imports;
    std::vector<PeImportedModule> delayImports;
    std::string exportName; // the name the export directory gives the module
    std::vector<PeExport> exports;

    const PeExport* exportNamed(std::string_view name) const;
    const PeExport* exportByOrdinal(uint32_t ordinal) const;
};

// Caps that keep a damaged file from holding the reader long.
inline constexpr size_t kMaxPeModules = 4096;    // import descriptors of each kind
inline constexpr size_t kMaxPeFunctions = 65536; // functions of one import, and exports
inline constexpr size_t kMaxPeName = 4096;       // characters of one name

PeTables readPeTables(std::string_view file);

// Where an RVA lies in the file, by the section table; nothing when it lies
// in no section's raw data nor in the headers.
std::optional<size_t> fileOffsetOf(const PeTables& tables, std::string_view file, uint32_t rva);

// A forwarder taken apart: "NTDLL.RtlAllocateHeap" is "NTDLL.dll" and
// "RtlAllocateHeap"; "X.#12" is "X.dll" and ordinal 12.
struct PeForwarder {
    std::string dll;
    PeImportedFunction function;
};
std::optional<PeForwarder> splitForwarder(const std::string& forwarder);

// "HelperTwo" or "ordinal 12".
std::string functionName(const PeImportedFunction& function);

} // namespace doctor
