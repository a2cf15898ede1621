#pragma once
// What the fuzz targets share: an input cut into several strings, and a
// check that stops the run with a message when an invariant fails.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

// The input cut at NUL bytes into `count` strings; the last one keeps the
// rest, NULs included. Missing parts are empty.
inline std::vector<std::string> splitAtNul(const uint8_t* data, size_t size, size_t count)
{
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts;
    while (parts.size() + 1 < count) {
        const size_t nul = rest.find('\0');
        parts.emplace_back(rest.substr(0, nul));
        rest.remove_prefix(nul == std::string_view::npos ? rest.size() : nul + 1);
    }
    parts.emplace_back(rest);
    return parts;
}

inline void check(bool holds, const char* what)
{
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

inline bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

} // namespace fuzz
