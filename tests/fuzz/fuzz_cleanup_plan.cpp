// The cleanup planner on random registry images: a key the cleanup deletes
// never holds anything but the dead in-process registration (no other
// server, no verb, no link), its server is really gone, and the undo script
// restores it. The same for type libraries' versions (every file gone) and
// the type-library marshaller's Interface keys.
#include "../rules/MachineImage.h"
#include "../support/TestClsid.h"
#include "FuzzInput.h"
#include "doctor/Stale.h"

#include <array>

using classes::Hive;
using classes::View;

namespace {

constexpr std::array<const char*, 10> kClassParts{"LocalServer32", "InprocHandler32", "TreatAs", "Settings",
                                                  "Implemented Categories\\{X}", "ProgID", "Description",
                                                  "LocalServer", "InprocServer32", "AutoConvertTo"};
constexpr std::array<const char*, 5> kProgIdParts{"CLSID", "CurVer", "shell\\open\\command", "DefaultIcon", "Insertable"};
constexpr std::array<const char*, 4> kServers{"C:\\gone\\x.dll", "C:\\live\\x.dll", "bare.dll", "\"C:\\gone\\y.dll\" /a"};
constexpr std::array<const char*, 4> kValueNames{"AppID", "", "Two\r\nLines", "Name"};

constexpr std::array<const char*, 4> kVersions{"1.0", "1.1", "2.0", "0.9"};
constexpr std::array<const char*, 5> kLibraryParts{"FLAGS", "HELPDIR", "Extra", "9\\win32", "0\\other"};
constexpr std::array<const char*, 4> kPlatforms{"0\\win64", "0\\win32", "409\\win32", "0\\win16"};

std::string libid(unsigned n) { return "{F0230000-0000-0000-0000-00000000000" + std::to_string(n % 4) + "}"; }
std::string iid(unsigned n) { return "{F0240000-0000-0000-0000-00000000000" + std::to_string(n % 4) + "}"; }

const testing_support::ClsidFamily clsid{"F0220000"};

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
        for (const classes::NamedValue& v : m.values(hive, view, path))
            if (text::equalIgnoringCase(v.name, "AppID")) return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    testing_image::MachineImage m;
    m.files.insert("C:\\LIVE\\X.DLL");
    for (size_t i = 0; i + 2 < size && i < 300; i += 3) {
        const unsigned op = data[i] % 9;
        const unsigned a = data[i + 1];
        const unsigned b = data[i + 2];
        const Hive hive = (a & 0x80) ? Hive::UserClasses : Hive::MachineClasses;
        const View view = (a & 0x40) ? View::Bits32 : View::Bits64;
        const std::string key = "CLSID\\" + clsid(a % 8);
        const std::string progId = "Fuzz.P" + std::to_string(b % 4);
        switch (op) {
        case 0: m.setText(hive, view, key + "\\InProcServer32", "", kServers[b % kServers.size()]); break;
        case 1: m.key(hive, view, key + "\\" + kClassParts[b % kClassParts.size()]); break;
        case 2: m.setText(hive, view, progId + "\\CLSID", "", clsid(a % 8)); break;
        case 3: m.key(hive, view, progId + "\\" + kProgIdParts[b % kProgIdParts.size()]); break;
        case 4: m.key(hive, view, (b & 1) ? key + "\\Settings" : progId).link = true; break;
        case 5: m.setText(hive, view, (b & 1) ? key : progId, kValueNames[b % kValueNames.size()], "v"); break;
        case 6:
            m.setText(hive, view, "TypeLib\\" + libid(a) + "\\" + kVersions[b % 4] + "\\" + kPlatforms[(b >> 2) % 4], "",
                      kServers[(b >> 4) % kServers.size()]);
            break;
        case 7: {
            const std::string path = "Interface\\" + iid(a);
            m.setText(hive, view, path + "\\ProxyStubClsid32", "", (b & 1) ? doctor::kTypeLibMarshaller : clsid(b % 8));
            m.setText(hive, view, path + "\\TypeLib", "", libid(b >> 1));
            if (b & 0x10) m.setText(hive, view, path + "\\TypeLib", "Version", kVersions[(b >> 2) % 4]);
            break;
        }
        case 8:
            if (b & 1)
                m.key(hive, view, "TypeLib\\" + libid(a) + "\\" + kVersions[(b >> 1) % 4] + "\\" +
                                      kLibraryParts[(b >> 3) % kLibraryParts.size()]).link = (b & 0x80) != 0;
            else
                m.key(hive, view, "Interface\\" + iid(a) + "\\" + ((b & 2) ? "NumMethods" : "Extra")).link = (b & 0x80) != 0;
            break;
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
    const std::vector<doctor::StaleEntry> entries = doctor::findStaleTypeLibs(m.machine(), true, true);
    for (const doctor::StaleEntry& e : entries) {
        if (e.kind == doctor::StaleEntry::Kind::Interface) {
            const std::optional<classes::Value> proxy = m.value(e.hive, e.view, e.path + "\\ProxyStubClsid32", "");
            fuzz::check(proxy && proxy->text() == std::string(doctor::kTypeLibMarshaller),
                        "an interface not of the type-library marshaller was listed");
        } else {
            for (const std::string& locale : m.subKeys(e.hive, e.view, e.path))
                for (const std::string& platform : m.subKeys(e.hive, e.view, e.path + "\\" + locale)) {
                    const classes::ServerFile file = classes::resolveServer(
                        m.value(e.hive, e.view, e.path + "\\" + locale + "\\" + platform, ""), e.view, m);
                    fuzz::check(!file.found(), "a library version with a file that is there was listed as stale");
                }
        }
        if (!e.kept.empty()) continue;
        fuzz::check(!linkIn(m, e.hive, e.view, e.path), "a deleted type-library key held a link");
        for (const std::string& sub : m.subKeys(e.hive, e.view, e.path))
            fuzz::check(!text::equalIgnoringCase(sub, "Extra"), "a deleted type-library key held another key");
    }
    const std::string cleanup = doctor::cleanupScript(stale, entries);
    const std::string undo = doctor::undoScript(m, stale, entries);
    for (const doctor::StaleEntry& e : entries)
        fuzz::check(fuzz::contains(cleanup, "[-" + e.key + "]") == e.kept.empty(),
                    "a type-library key is deleted though kept, or not deleted though planned");
    for (const doctor::StaleClass& c : stale)
        if (c.kept.empty()) fuzz::check(fuzz::contains(cleanup, "[-" + c.key + "]"), "a planned deletion is missing");
        else fuzz::check(!fuzz::contains(cleanup, "[-" + c.key + "]"), "a kept key is deleted");
    fuzz::check(undo.rfind("\xFF\xFE", 0) == 0, "the undo is not UTF-16 with its mark");
    return 0;
}
