#include "doctor/Stale.h"

namespace doctor {

std::string cleanupScript(const std::vector<StaleClass>& classes)
{
    std::string text = "REGEDIT4\r\n";
    for (const StaleClass& c : classes) {
        text += "\r\n";
        if (fitsKeyLine(c.key)) text += "[-" + c.key + "]\r\n";
        for (const StaleProgId& progId : c.progIds)
            if (fitsKeyLine(progId.key)) text += "[-" + progId.key + "]\r\n";
    }
    return text;
}

bool fitsKeyLine(const std::string& key)
{
    return !key.empty() && key.find_first_of(std::string("\r\n]\0", 4)) == std::string::npos && key.back() != ' ' &&
           key.back() != '\t';
}

} // namespace doctor
