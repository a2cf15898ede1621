#pragma once
// The CLSIDs of a test program's classes, numbered. Header only and without
// the system's headers, so that the natively built fuzz targets take it too.
#include <cstdio>
#include <string>

namespace testing_support {

// Each program names its own first group, so that the classes of two
// programs never meet: ClsidFamily clsid{"D0C70000"}; clsid(1) is
// "{D0C70000-0000-4000-8000-000000000001}".
struct ClsidFamily {
    const char* firstGroup; // eight hexadecimal digits
    std::string operator()(unsigned n) const
    {
        char text[48];
        std::snprintf(text, sizeof(text), "{%.8s-0000-4000-8000-%012u}", firstGroup, n);
        return text;
    }
};

} // namespace testing_support
