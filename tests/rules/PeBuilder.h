#pragma once
// Tiny PE images for the rule tests and the fuzz seeds: headers, one section
// and in it the import, delay-import and export tables asked for, laid out as
// a linker lays them out.
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testing_image {

struct PeContents {
    uint16_t machine = 0x8664;
    bool pe32Plus = true;
    bool dll = true;
    // Per DLL, its functions: a name, or "#12" for ordinal 12.
    std::vector<std::pair<std::string, std::vector<std::string>>> imports;
    std::vector<std::pair<std::string, std::vector<std::string>>> delayImports;
    // Name ("#5": ordinal 5 without a name) and forwarder ("" for code).
    std::vector<std::pair<std::string, std::string>> exports;
    uint32_t ordinalBase = 1;
};

namespace pe_layout {

inline void put(std::string& out, size_t at, uint64_t value, size_t count)
{
    if (out.size() < at + count) out.resize(at + count, '\0');
    for (size_t i = 0; i < count; ++i) out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

constexpr uint32_t kSectionRva = 0x1000;
constexpr uint32_t kHeaderBytes = 0x200;

// The section's bytes, growing; RVAs of what is placed in it.
struct Section {
    std::string bytes;
    uint32_t place(const std::string& data, size_t align = 2)
    {
        while (bytes.size() % align) bytes += '\0';
        const auto at = static_cast<uint32_t>(bytes.size());
        bytes += data;
        return kSectionRva + at;
    }
    uint32_t reserve(size_t count, size_t align = 8) { return place(std::string(count, '\0'), align); }
    void set(uint32_t rva, uint64_t value, size_t count) { put(bytes, rva - kSectionRva, value, count); }
};

inline bool byOrdinal(const std::string& function) { return !function.empty() && function[0] == '#'; }
inline uint32_t ordinalOf(const std::string& function) { return static_cast<uint32_t>(std::stoul(function.substr(1))); }

// A name table: thunks of the image's width ending in zero; names as hint and text.
inline uint32_t nameTable(Section& s, const std::vector<std::string>& functions, bool pe32Plus)
{
    const size_t width = pe32Plus ? 8 : 4;
    const uint32_t table = s.reserve((functions.size() + 1) * width);
    for (size_t i = 0; i < functions.size(); ++i) {
        uint64_t thunk = 0;
        if (byOrdinal(functions[i]))
            thunk = (uint64_t{1} << (width * 8 - 1)) | ordinalOf(functions[i]);
        else
            thunk = s.place(std::string(2, '\0') + functions[i] + '\0');
        s.set(static_cast<uint32_t>(table + i * width), thunk, width);
    }
    return table;
}

} // namespace pe_layout

inline std::string buildPe(const PeContents& contents)
{
    using namespace pe_layout;
    Section s;
    std::vector<std::pair<uint32_t, uint32_t>> directories(16);

    if (!contents.exports.empty()) {
        uint32_t count = static_cast<uint32_t>(contents.exports.size());
        for (const auto& entry : contents.exports)
            if (byOrdinal(entry.first)) count = std::max(count, ordinalOf(entry.first) - contents.ordinalBase + 1);
        const uint32_t directory = s.reserve(40, 4);
        const uint32_t functions = s.reserve(count * 4, 4);
        std::vector<std::pair<std::string, uint32_t>> names; // by name, as the loader's binary search wants them
        for (uint32_t i = 0; i < contents.exports.size(); ++i) {
            const auto& [name, forwarder] = contents.exports[i];
            const uint32_t index = byOrdinal(name) ? ordinalOf(name) - contents.ordinalBase : i;
            // Code lies outside the export directory; a forwarder's text inside it.
            s.set(functions + index * 4, forwarder.empty() ? 0x0F00 : s.place(forwarder + '\0'), 4);
            if (!byOrdinal(name)) names.emplace_back(name, index);
        }
        std::sort(names.begin(), names.end());
        const uint32_t nameList = s.reserve(names.size() * 4 + 4, 4);
        const uint32_t ordinalList = s.reserve(names.size() * 2 + 2, 2);
        for (size_t i = 0; i < names.size(); ++i) {
            s.set(static_cast<uint32_t>(nameList + i * 4), s.place(names[i].first + '\0'), 4);
            s.set(static_cast<uint32_t>(ordinalList + i * 2), names[i].second, 2);
        }
        const uint32_t moduleName = s.place(std::string("built.dll") + '\0');
        s.set(directory + 12, moduleName, 4);
        s.set(directory + 16, contents.ordinalBase, 4);
        s.set(directory + 20, count, 4);
        s.set(directory + 24, names.size(), 4);
        s.set(directory + 28, functions, 4);
        s.set(directory + 32, nameList, 4);
        s.set(directory + 36, ordinalList, 4);
        directories[0] = {directory, static_cast<uint32_t>(kSectionRva + s.bytes.size() - directory)};
    }
    if (!contents.imports.empty()) {
        const uint32_t descriptors = s.reserve((contents.imports.size() + 1) * 20, 4);
        for (size_t i = 0; i < contents.imports.size(); ++i) {
            const auto at = static_cast<uint32_t>(descriptors + i * 20);
            const uint32_t names = nameTable(s, contents.imports[i].second, contents.pe32Plus);
            s.set(at, names, 4);
            s.set(at + 12, s.place(contents.imports[i].first + '\0'), 4);
            s.set(at + 16, nameTable(s, contents.imports[i].second, contents.pe32Plus), 4); // the address table
        }
        directories[1] = {descriptors, static_cast<uint32_t>((contents.imports.size() + 1) * 20)};
    }
    if (!contents.delayImports.empty()) {
        const uint32_t descriptors = s.reserve((contents.delayImports.size() + 1) * 32, 4);
        for (size_t i = 0; i < contents.delayImports.size(); ++i) {
            const auto at = static_cast<uint32_t>(descriptors + i * 32);
            s.set(at, 1, 4); // RVAs
            s.set(at + 4, s.place(contents.delayImports[i].first + '\0'), 4);
            s.set(at + 16, nameTable(s, contents.delayImports[i].second, contents.pe32Plus), 4);
        }
        directories[13] = {descriptors, static_cast<uint32_t>((contents.delayImports.size() + 1) * 32)};
    }
    while (s.bytes.size() % 0x200 || s.bytes.empty()) s.bytes += '\0';

    std::string file(kHeaderBytes, '\0');
    file[0] = 'M';
    file[1] = 'Z';
    put(file, 0x3C, 0x40, 4);
    file.replace(0x40, 4, std::string("PE\0\0", 4));
    const size_t optionalSize = contents.pe32Plus ? 240 : 224;
    put(file, 0x44, contents.machine, 2);
    put(file, 0x46, 1, 2);
    put(file, 0x54, optionalSize, 2);
    put(file, 0x56, contents.dll ? 0x2022 : 0x0022, 2);
    const size_t optional = 0x58;
    put(file, optional, contents.pe32Plus ? 0x20B : 0x10B, 2);
    if (contents.pe32Plus)
        put(file, optional + 24, 0x180000000ULL, 8);
    else
        put(file, optional + 28, 0x10000000, 4);
    put(file, optional + 60, kHeaderBytes, 4);
    const size_t count = contents.pe32Plus ? optional + 108 : optional + 92;
    put(file, count, 16, 4);
    for (size_t i = 0; i < 16; ++i) {
        put(file, count + 4 + i * 8, directories[i].first, 4);
        put(file, count + 8 + i * 8, directories[i].second, 4);
    }
    const size_t section = optional + optionalSize;
    file.replace(section, 6, ".rdata");
    put(file, section + 8, s.bytes.size(), 4);
    put(file, section + 12, kSectionRva, 4);
    put(file, section + 16, s.bytes.size(), 4);
    put(file, section + 20, kHeaderBytes, 4);
    return file + s.bytes;
}

} // namespace testing_image
