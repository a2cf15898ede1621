#include "system/Search.h"

#include "system/AnsiText.h"

namespace browser {

bool lookupTextMatches(const std::string& lookupText, const std::string& typed)
{
    return !lookupText.empty() && platform::containsIgnoringCase(lookupText, typed);
}

} // namespace browser
