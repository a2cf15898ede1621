// Time to fill a large template full of placeholders: the built-in entries
// repeated to 50 MB, filled as Write fills them, and turned into the
// un-register script. Prints figures; passes or fails nothing.
#include "scripts/RegScript.h"

#include <chrono>
#include <cstdio>

int main()
{
    const std::string entry = scripts::builtInTemplate() + "\r\n";
    std::string text;
    while (text.size() < 50u * 1000 * 1000) text += entry;
    const scripts::ScriptFields fields{"{00000000-0000-0000-0000-000000000000}", "myAddInName",
                                      "This AddIn creates Geometry", true, true};
    double best = 1e300;
    size_t size = 0;
    for (int round = 0; round < 3; ++round) {
        const auto start = std::chrono::steady_clock::now();
        const std::string script = scripts::fillRegTemplate(text, fields);
        const std::string unRegScript = scripts::unRegScriptOf(script);
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        if (took.count() < best) best = took.count();
        size = script.size() + unRegScript.size();
    }
    std::printf("fill a %.0f MB template full of placeholders, and its un-register script: %.0f ms (best of 3, %zu bytes out)\n",
                double(text.size()) / 1e6, best, size);
    return 0;
}
