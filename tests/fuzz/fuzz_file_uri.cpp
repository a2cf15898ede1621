// File URIs: any text gives a plausible Windows path or nothing, and a local
// path written back as a URI with every byte escaped decodes to itself.
#include "FuzzInput.h"
#include "doctor/FileUri.h"

using namespace fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string uri(reinterpret_cast<const char*>(data), size);
    const std::optional<std::string> path = doctor::pathFromFileUri(uri);
    if (!path) return 0;
    check(!path->empty() && !contains(*path, "/") && !contains(*path, std::string_view("\0", 1)),
          "a path without '/' or NUL");
    if (!contains(uri, "%")) check(path->size() <= uri.size(), "decoding does not lengthen");

    const char drive = path->front();
    if (path->size() >= 2 && (*path)[1] == ':' && ((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z'))) {
        std::string again = "FILE:///" + path->substr(0, 2);
        for (size_t i = 2; i < path->size(); ++i) {
            static const char digits[] = "0123456789abcdef";
            const auto c = static_cast<unsigned char>((*path)[i]);
            again += {'%', digits[c >> 4], digits[c & 15]};
        }
        check(doctor::pathFromFileUri(again) == path, "escaped back, the path decodes to itself");
    }
    return 0;
}
