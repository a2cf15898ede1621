// The cleanup planner on random registry images: a key the cleanup deletes
// never holds anything but the dead in-process registration (no other
// server, no verb, no link), its server is really gone, and the undo script
// restores it.
#include "../rules/MachineImage.h"
#include "FuzzInput.h"
#include "doctor/Stale.h"

#include <array>

using registry::Hive;
using registry::View;

namespace {

constexpr std::array<const char*, 10> kClassParts{"LocalServer32", "InprocHandler32", "TreatAs", "Settings",
                                                  "Implemented Categories\\{X}", "ProgID", "Description",
                                                  "LocalServer", "InprocServer32", "AutoConvertTo"};
constexpr std::array<const char*, 5> kProgIdParts{"CLSID", "CurVer", "shell\\open\\command", "DefaultIcon", "Insertable"};
constexpr std::array<const char*, 4> kServers{"C:\\gone\\x.dll", "C:\\live\\x.dll", "bare.dll", "\"C:\\gone\\y.dll\" /a"};
constexpr std::array<const char*, 4> kValueNames{"AppID", "", "Two\r\nLines", "Name"};

std::string clsid(unsigned n) { return "{F0220000-0000-0000-0000-00000000000" + std::to_string(n % 8) + "}"; }

bool linkIn(const testing_image::MachineImage& m, Hive hive, View view, const std::string& path)
{
    if (m.isLink(hive, view, path)) return true;
    for (const std::string& sub : m.subKeys(hive, view, path))
        if (linkIn(m, hive, view, path + "\\" + sub)) return true;
    return false;
}

// What the planner must never delete: another server of the class, a ProgID's
// verb or other key, a link anywhere below.
bool holdsOther(const testing_image::MachineImage& m, Hive hive, View view, const std::string& path, bool classKey)
{
    if (linkIn(m, hive, view, path)) return true;
    for (const std::string& sub : m.subKeys(hive, view, path)) {
        const auto is = [&](const char* name) { return text::equalIgnoringCase(sub, name); };
        if (classKey ? is("LocalServer32") || is("LocalServer") || is("InprocHandler32") || is("TreatAs")
                     : !is("CLSID") && !is("CurVer"))
            return true;
    }
    if (classKey)
        for (const registry::NamedValue& v : m.values(hive, view, path))
            if (text::equalIgnoringCase(v.name, "AppID")) return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    testing_image::MachineImage m;
    m.files.insert("C:\\LIVE\\X.DLL");
    for (size_t i = 0; i + 2 < size && i < 300; i += 3) {
        const unsigned op = data[i] % 6;
        const unsigned a = data[i + 1];
        const unsigned b = data[i + 2];
        const Hive hive = (a & 0x80) ? Hive::UserClasses : Hive::MachineClasses;
        const View view = (a & 0x40) ? View::Bits32 : View::Bits64;
        const std::string key = "CLSID\\" + clsid(a);
        const std::string progId = "Fuzz.P" + std::to_string(b % 4);
        switch (op) {
        case 0: m.setText(hive, view, key + "\\InProcServer32", "", kServers[b % kServers.size()]); break;
        case 1: m.key(hive, view, key + "\\" + kClassParts[b % kClassParts.size()]); break;
        case 2: m.setText(hive, view, progId + "\\CLSID", "", clsid(a)); break;
        case 3: m.key(hive, view, progId + "\\" + kProgIdParts[b % kProgIdParts.size()]); break;
        case 4: m.key(hive, view, (b & 1) ? key + "\\Settings" : progId).link = true; break;
        case 5: m.setText(hive, view, (b & 1) ? key : progId, kValueNames[b % kValueNames.size()], "v"); break;
        }
    }
    const std::vector<doctor::StaleClass> stale = doctor::findStaleClasses(m.machine(), true, true);
    for (const doctor::StaleClass& c : stale) {
        const std::string path = "CLSID\\" + c.clsid;
        const classes::ServerFile server =
            classes::resolveServer(m.value(c.hive, c.view, path + "\\InProcServer32", ""), c.view, m);
        fuzz::check(!server.found() && !server.searched, "a class whose server the loader finds was listed as stale");
        if (!c.kept.empty()) continue;
        fuzz::check(!holdsOther(m, c.hive, c.view, path, true), "a deleted class key held another registration or a link");
        for (const doctor::StaleProgId& p : c.progIds)
            if (p.kept.empty())
                fuzz::check(!holdsOther(m, p.hive, p.view, p.name, false), "a deleted ProgID held a verb, a key or a link");
    }
    const std::string cleanup = doctor::cleanupScript(stale);
    const std::string undo = doctor::undoScript(m, stale);
    for (const doctor::StaleClass& c : stale)
        if (c.kept.empty()) fuzz::check(fuzz::contains(cleanup, "[-" + c.key + "]"), "a planned deletion is missing");
        else fuzz::check(!fuzz::contains(cleanup, "[-" + c.key + "]"), "a kept key is deleted");
    fuzz::check(undo.rfind("\xFF\xFE", 0) == 0, "the undo is not UTF-16 with its mark");
    return 0;
}
