#include "doctor/PeTables.h"

#include <algorithm>

namespace doctor {

namespace {

constexpr size_t kFileHeader = 4;       // after the signature
constexpr size_t kOptionalHeader = 24;  // signature and file header
constexpr size_t kSectionEntry = 40;
constexpr size_t kImportEntry = 20;
constexpr size_t kDelayEntry = 32;
constexpr size_t kMaxSections = 96;     // the loader's own limit
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kExportDirectory = 0;
constexpr uint32_t kImportDirectory = 1;
constexpr uint32_t kDelayImportDirectory = 13;

// Reads little-endian numbers and names out of the file; a read outside it
// gives 0 or "" and marks the whole reading failed, so that the parsing below
// reads straight through and looks at `failed` where it matters.
class Bytes {
public:
    Bytes(std::string_view file, PeTables& tables) : file_(file), tables_(tables) {}

    uint64_t number(size_t at, size_t count)
    {
        if (at > file_.size() || count > file_.size() - at) return fail("a field past the end of the file");
        uint64_t value = 0;
        for (size_t i = count; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(file_[at + i]);
        return value;
    }
    uint32_t read16(size_t at) { return static_cast<uint32_t>(number(at, 2)); }
    uint32_t read32(size_t at) { return static_cast<uint32_t>(number(at, 4)); }

    // The file offset of an RVA that must lie in the file.
    size_t offsetOf(uint32_t rva, const char* what)
    {
        const std::optional<size_t> at = fileOffsetOf(tables_, file_, rva);
        if (!at) return fail(what);
        return *at;
    }

    // A NUL-terminated name at an RVA.
    std::string name(uint32_t rva, const char* what)
    {
        const size_t at = offsetOf(rva, what);
        if (failed) return {};
        const std::string_view rest = file_.substr(at, kMaxPeName + 1);
        const size_t end = rest.find('\0');
        if (end == std::string_view::npos) {
            fail(what);
            return {};
        }
        return std::string(rest.substr(0, end));
    }

    size_t fail(const char* what)
    {
        if (!failed) tables_.problem = what;
        failed = true;
        return 0;
    }

    bool failed = false;

private:
    std::string_view file_;
    PeTables& tables_;
};

struct Directory {
    uint32_t rva = 0;
    uint32_t size = 0;
};

// The functions of one import, from its name table: thunks of the image's
// width up to a zero one.
std::vector<PeImportedFunction> importedFunctions(Bytes& bytes, const PeTables& tables, uint32_t nameTable)
{
    std::vector<PeImportedFunction> functions;
    const size_t width = tables.pe32Plus ? 8 : 4;
    const uint64_t ordinalFlag = uint64_t{1} << (width * 8 - 1);
    const size_t start = bytes.offsetOf(nameTable, "an import name table outside the file");
    for (size_t i = 0; !bytes.failed; ++i) {
        if (i == kMaxPeFunctions) {
            bytes.fail("an import name table without an end");
            break;
        }
        const uint64_t thunk = bytes.number(start + i * width, width);
        if (bytes.failed || thunk == 0) break;
        PeImportedFunction function;
        if (thunk & ordinalFlag) {
            function.ordinal = static_cast<uint16_t>(thunk & 0xFFFF);
        } else {
            // A hint of two bytes, then the name.
            function.name = bytes.name(static_cast<uint32_t>(thunk) + 2, "an imported name outside the file");
            if (function.name.empty()) bytes.fail("an imported function without a name");
        }
        functions.push_back(std::move(function));
    }
    return functions;
}

void readImports(Bytes& bytes, PeTables& tables, Directory directory)
{
    if (directory.rva == 0) return;
    const size_t start = bytes.offsetOf(directory.rva, "the import directory outside the file");
    for (size_t i = 0; !bytes.failed; ++i) {
        if (i == kMaxPeModules) {
            bytes.fail("an import directory without an end");
            return;
        }
        const size_t at = start + i * kImportEntry;
        const uint32_t lookup = bytes.read32(at);
        const uint32_t nameRva = bytes.read32(at + 12);
        const uint32_t addresses = bytes.read32(at + 16);
        // The loader stops at the first entry without a name or an address table.
        if (bytes.failed || nameRva == 0 || addresses == 0) return;
        PeImportedModule module;
        module.dll = bytes.name(nameRva, "an imported DLL's name outside the file");
        module.functions = importedFunctions(bytes, tables, lookup != 0 ? lookup : addresses);
        tables.imports.push_back(std::move(module));
    }
}

void readDelayImports(Bytes& bytes, PeTables& tables, Directory directory, uint64_t imageBase)
{
    if (directory.rva == 0) return;
    const size_t start = bytes.offsetOf(directory.rva, "the delay-import directory outside the file");
    for (size_t i = 0; !bytes.failed; ++i) {
        if (i == kMaxPeModules) {
            bytes.fail("a delay-import directory without an end");
            return;
        }
        const size_t at = start + i * kDelayEntry;
        const uint32_t attributes = bytes.read32(at);
        uint64_t nameAddress = bytes.read32(at + 4);
        uint64_t nameTable = bytes.read32(at + 16);
        if (bytes.failed || nameAddress == 0) return;
        // Old linkers wrote addresses, not RVAs (attribute bit 0 clear).
        if ((attributes & 1) == 0) {
            nameAddress -= std::min(nameAddress, imageBase);
            nameTable -= std::min(nameTable, imageBase);
        }
        PeImportedModule module;
        module.dll = bytes.name(static_cast<uint32_t>(nameAddress), "a delay-loaded DLL's name outside the file");
        if (nameTable != 0) module.functions = importedFunctions(bytes, tables, static_cast<uint32_t>(nameTable));
        tables.delayImports.push_back(std::move(module));
    }
}

void readExports(Bytes& bytes, PeTables& tables, Directory directory)
{
    if (directory.rva == 0) return;
    const size_t at = bytes.offsetOf(directory.rva, "the export directory outside the file");
    const uint32_t nameRva = bytes.read32(at + 12);
    const uint32_t base = bytes.read32(at + 16);
    const uint32_t functionCount = bytes.read32(at + 20);
    const uint32_t nameCount = bytes.read32(at + 24);
    const uint32_t functionsRva = bytes.read32(at + 28);
    const uint32_t namesRva = bytes.read32(at + 32);
    const uint32_t ordinalsRva = bytes.read32(at + 36);
    if (bytes.failed) return;
    if (functionCount > kMaxPeFunctions || nameCount > kMaxPeFunctions) {
        bytes.fail("an export directory with too many functions");
        return;
    }
    if (nameRva != 0) tables.exportName = bytes.name(nameRva, "the export directory's name outside the file");

    std::vector<std::string> names(functionCount);
    if (nameCount > 0) {
        const size_t nameList = bytes.offsetOf(namesRva, "the exported names outside the file");
        const size_t ordinalList = bytes.offsetOf(ordinalsRva, "the exported names' ordinals outside the file");
        for (size_t i = 0; i < nameCount && !bytes.failed; ++i) {
            const uint32_t index = bytes.read16(ordinalList + i * 2);
            std::string name = bytes.name(bytes.read32(nameList + i * 4), "an exported name outside the file");
            if (index < functionCount && names[index].empty()) names[index] = std::move(name);
        }
    }
    if (functionCount == 0) return;
    const size_t functionList = bytes.offsetOf(functionsRva, "the exported functions outside the file");
    for (size_t i = 0; i < functionCount && !bytes.failed; ++i) {
        const uint32_t rva = bytes.read32(functionList + i * 4);
        if (rva == 0) continue; // a gap in the ordinals
        PeExport entry;
        entry.ordinal = base + static_cast<uint32_t>(i);
        entry.name = std::move(names[i]);
        // An address inside the export directory is a forwarder's text.
        if (rva >= directory.rva && rva - directory.rva < directory.size)
            entry.forwarder = bytes.name(rva, "a forwarder outside the file");
        tables.exports.push_back(std::move(entry));
    }
}

} // namespace

const PeExport* PeTables::exportNamed(std::string_view name) const
{
    for (const PeExport& entry : exports)
        if (entry.name == name) return &entry;
    return nullptr;
}

const PeExport* PeTables::exportByOrdinal(uint32_t ordinal) const
{
    for (const PeExport& entry : exports)
        if (entry.ordinal == ordinal) return &entry;
    return nullptr;
}

std::optional<size_t> fileOffsetOf(const PeTables& tables, std::string_view file, uint32_t rva)
{
    for (const PeSection& section : tables.sections) {
        if (rva < section.virtualAddress) continue;
        const uint32_t into = rva - section.virtualAddress;
        const uint32_t extent = section.virtualSize != 0 ? std::min(section.virtualSize, section.rawSize)
                                                         : section.rawSize;
        if (into >= extent) continue;
        const size_t at = size_t{section.rawOffset} + into;
        if (at >= file.size()) return std::nullopt;
        return at;
    }
    // The headers are mapped as they are, below the first section.
    uint32_t firstSection = UINT32_MAX;
    for (const PeSection& section : tables.sections) firstSection = std::min(firstSection, section.virtualAddress);
    if (rva < firstSection && rva < file.size()) return rva;
    return std::nullopt;
}

PeTables readPeTables(std::string_view file)
{
    PeTables tables;
    tables.image = readPeImage(file);
    if (tables.image.machine == PeMachine::NotPe) {
        tables.problem = "not a PE image";
        return tables;
    }
    Bytes bytes(file, tables);
    const size_t header = bytes.read32(0x3C);
    const size_t sectionCount = bytes.read16(header + kFileHeader + 2);
    const size_t optionalSize = bytes.read16(header + kFileHeader + 16);
    const size_t optional = header + kOptionalHeader;
    const uint32_t magic = bytes.read16(optional);
    if (bytes.failed) return tables;
    if (magic != kPe32Magic && magic != kPe32PlusMagic) {
        bytes.fail("an optional header that is neither PE32 nor PE32+");
        return tables;
    }
    tables.pe32Plus = magic == kPe32PlusMagic;
    const uint64_t imageBase = tables.pe32Plus ? bytes.number(optional + 24, 8) : bytes.read32(optional + 28);
    const size_t directoryCount = bytes.read32(optional + (tables.pe32Plus ? 108 : 92));
    const size_t directories = optional + (tables.pe32Plus ? 112 : 96);

    if (sectionCount > kMaxSections) bytes.fail("more sections than the loader takes");
    const size_t sectionTable = optional + optionalSize;
    for (size_t i = 0; i < sectionCount && !bytes.failed; ++i) {
        const size_t at = sectionTable + i * kSectionEntry;
        PeSection section;
        const std::string_view name = file.substr(std::min(at, file.size()), 8);
        section.name = std::string(name.substr(0, name.find('\0')));
        section.virtualSize = bytes.read32(at + 8);
        section.virtualAddress = bytes.read32(at + 12);
        section.rawSize = bytes.read32(at + 16);
        section.rawOffset = bytes.read32(at + 20);
        tables.sections.push_back(std::move(section));
    }

    const auto directory = [&](uint32_t index) {
        const size_t at = directories + size_t{index} * 8;
        if (index >= directoryCount || at + 8 > optional + optionalSize) return Directory{};
        return Directory{bytes.read32(at), bytes.read32(at + 4)};
    };
    readImports(bytes, tables, directory(kImportDirectory));
    readDelayImports(bytes, tables, directory(kDelayImportDirectory), imageBase);
    readExports(bytes, tables, directory(kExportDirectory));
    tables.readable = !bytes.failed;
    if (!tables.readable) {
        tables.imports.clear();
        tables.delayImports.clear();
        tables.exports.clear();
    }
    return tables;
}

std::optional<PeForwarder> splitForwarder(const std::string& forwarder)
{
    const size_t dot = forwarder.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == forwarder.size()) return std::nullopt;
    PeForwarder split;
    split.dll = forwarder.substr(0, dot) + ".dll";
    const std::string function = forwarder.substr(dot + 1);
    if (function[0] == '#') {
        const std::string digits = function.substr(1);
        if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        const unsigned long ordinal = std::stoul(digits);
        if (ordinal > 0xFFFF) return std::nullopt;
        split.function.ordinal = static_cast<uint16_t>(ordinal);
    } else {
        split.function.name = function;
    }
    return split;
}

std::string functionName(const PeImportedFunction& function)
{
    return function.name.empty() ? "ordinal " + std::to_string(function.ordinal) : function.name;
}

} // namespace doctor
