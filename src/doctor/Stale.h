#pragma once
// Classes whose server file is gone, and the script that removes them.
#include <string>
#include <vector>

namespace doctor {

struct StaleProgId {
    std::string name;
    std::string key; // its full key name, as the cleanup script deletes it
};

struct StaleClass {
    std::string clsid;
    std::vector<int> views;  // 64, 32, or both when the two views share the key
    bool perUser = false;    // HKEY_CURRENT_USER\Software\Classes, else the machine's
    std::string key;         // the class key's full name
    std::string server;      // InProcServer32's value as stored
    std::string file;        // the file looked for
    std::vector<StaleProgId> progIds; // those that lead to no other class
};

// A REGEDIT4 script of "[-key]" deletions: each class key, then its
// ProgIDs, in the given order. Lines end in CR LF. A key whose name a key
// line cannot hold exactly (a line break, a "]") is left out: regedit would
// read another key from it.
std::string cleanupScript(const std::vector<StaleClass>& classes);

// Whether "[-" + key + "]" names exactly that key.
bool fitsKeyLine(const std::string& key);

} // namespace doctor
