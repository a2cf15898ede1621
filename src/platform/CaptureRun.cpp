#include "platform/CaptureRun.h"

#include "doctor/PeImage.h"
#include "platform/Files.h"
#include "platform/Handle.h"
#include "platform/Helper.h"
#include "platform/RegistryReader.h"
#include "platform/Wide.h"
#include "platform/VerifyProbe.h"
#include "text/Fields.h"
#include "text/Text.h"

#include <windows.h>

#include <array>
#include <charconv>
#include <cstdio>
#include <optional>

namespace platform {

namespace {

constexpr char kCaptureParent[] = "Software\\AddInReg\\Capture";
// How long a notification of a write that the helper made may take to come.
constexpr DWORD kSettleMs = 50;
// Deeper than any registration goes; a scratch tree deeper than this is not read further.
constexpr int kDeepest = 64;

std::uint64_t numberOf(const FILETIME& time)
{
    return (std::uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::uint64_t creationOf(HANDLE process)
{
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return numberOf(created);
}

// "<process id>-<its creation time in hex>-<count>": a scratch key tells
// whose it is, and whether that process still runs.
std::string scratchName()
{
    static unsigned count = 0;
    char name[64];
    std::snprintf(name, sizeof(name), "%lu-%llx-%u", static_cast<unsigned long>(GetCurrentProcessId()),
                  static_cast<unsigned long long>(creationOf(GetCurrentProcess())), ++count);
    return name;
}

// Whether the process that made the scratch key still runs.
bool ownerRuns(const std::string& name)
{
    unsigned long id = 0;
    unsigned long long created = 0;
    const char* end = name.data() + name.size();
    const auto [idEnd, idError] = std::from_chars(name.data(), end, id);
    if (idError != std::errc() || idEnd == end || *idEnd != '-') return false;
    const auto [createdEnd, createdError] = std::from_chars(idEnd + 1, end, created, 16);
    if (createdError != std::errc() || createdEnd == end || *createdEnd != '-') return false;
    const UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(id)));
    if (!process) return false;
    DWORD code = 0;
    return GetExitCodeProcess(process.get(), &code) && code == STILL_ACTIVE && creationOf(process.get()) == created;
}

void deleteKeyTree(const std::string& path)
{
    const std::wstring wide = platform::wideOf(path);
    RegDeleteTreeW(HKEY_CURRENT_USER, wide.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, wide.c_str());
}

// Removes the scratch keys of captures whose process is gone (killed, or
// the machine stopped), and the parent keys when nothing is left in them.
void sweepScratchKeys()
{
    for (const std::string& name : platform::OpenKey(HKEY_CURRENT_USER, kCaptureParent).subKeys())
        if (!ownerRuns(name)) deleteKeyTree(text::below(kCaptureParent, name));
    // Deleting a key that holds another fails: a capture running beside this one keeps them.
    RegDeleteKeyW(HKEY_CURRENT_USER, platform::wideOf(kCaptureParent).c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\AddInReg");
}

const char* standInOf(scripts::CapturedRoot root)
{
    for (const scripts::StandIn& standIn : scripts::kStandIns)
        if (standIn.root == root) return standIn.subKey;
    return "";
}

// A key of the real registry, for reading; empty when it is not there.
UniqueHkey openReal(scripts::CapturedRoot root, const std::string& path)
{
    HKEY predefined = HKEY_CLASSES_ROOT;
    if (root == scripts::CapturedRoot::LocalMachine) predefined = HKEY_LOCAL_MACHINE;
    if (root == scripts::CapturedRoot::CurrentUser) predefined = HKEY_CURRENT_USER;
    if (root == scripts::CapturedRoot::Users) predefined = HKEY_USERS;
    UniqueHkey key;
    if (RegOpenKeyExW(predefined, platform::wideOf(path).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) key.reset();
    return key;
}

// The scratch key and its stand-ins for the predefined keys, removed
// with all below them on every path.
class ScratchKey {
public:
    ScratchKey() : path_(text::below(kCaptureParent, scratchName()))
    {
        made_ = true;
        for (const scripts::StandIn& standIn : scripts::kStandIns) {
            UniqueHkey key;
            made_ = made_ && RegCreateKeyExW(HKEY_CURRENT_USER,
                                             platform::wideOf(text::below(path_, standIn.subKey)).c_str(), 0,
                                             nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) == ERROR_SUCCESS;
        }
    }
    // The keys system code reads (scripts::kSeededKeys), copied from the
    // real registry into the stand-ins, as far as they are there.
    void seed() const
    {
        for (const scripts::SeededKey& key : scripts::kSeededKeys) {
            const UniqueHkey source = openReal(key.root, key.path);
            if (!source) continue;
            UniqueHkey target;
            const std::string copy = text::below(text::below(path_, standInOf(key.root)), key.path);
            if (RegCreateKeyExW(HKEY_CURRENT_USER, platform::wideOf(copy).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, target.put(), nullptr) == ERROR_SUCCESS)
                RegCopyTreeW(source.get(), nullptr, target.get());
        }
    }
    ~ScratchKey()
    {
        deleteKeyTree(path_);
        sweepScratchKeys();
    }
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;

    explicit operator bool() const { return made_; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    bool made_ = false;
};

// A subtree of the real registry watched for any write: a key created or
// deleted, a value set or deleted, anywhere below it. A key that does not
// exist (HKEY_CURRENT_USER\Software\Classes of a fresh profile) is never
// made for the watch: its nearest existing parent is watched for a subkey
// made, and the watch fires when that subkey is the watched key or leads to it.
class Watch {
public:
    Watch(HKEY root, const char* path) : root_(root), path_(path)
    {
        constexpr REGSAM access = KEY_NOTIFY | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE;
        std::string watched = path_;
        while (RegOpenKeyExW(root, platform::wideOf(watched).c_str(), 0, access, key_.put()) != ERROR_SUCCESS) {
            if (watched.empty()) return;
            const size_t slash = watched.rfind('\\');
            watched = slash == std::string::npos ? std::string() : watched.substr(0, slash);
        }
        absent_ = watched != path_;
        event_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        // Below a parent, only its own subkeys: the scratch key lies below HKEY_CURRENT_USER\Software.
        armed_ = event_ && RegNotifyChangeKeyValue(key_.get(), absent_ ? FALSE : TRUE,
                                                   absent_ ? REG_NOTIFY_CHANGE_NAME
                                                           : REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                                   event_.get(), TRUE) == ERROR_SUCCESS;
    }
    explicit operator bool() const { return armed_; }
    HANDLE event() const { return event_.get(); }
    bool fired() const
    {
        if (WaitForSingleObject(event_.get(), 0) != WAIT_OBJECT_0) return false;
        return !absent_ || static_cast<bool>(platform::OpenKey(root_, path_));
    }
    // The keys written since `since`, by their full names.
    std::vector<std::string> written(std::uint64_t since) const
    {
        const char* rootName = root_ == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
        std::vector<std::string> names;
        for (const std::string& path : platform::keysWrittenSince(root_, path_, since))
            names.push_back(text::below(rootName, path));
        if (absent_ && names.empty()) names.push_back(text::below(rootName, path_)); // it was made
        return names;
    }

private:
    HKEY root_;
    std::string path_;
    UniqueHkey key_;
    UniqueKernelHandle event_;
    bool absent_ = false; // the watched key did not exist: its parent is watched
    bool armed_ = false;
};

// What landed below one stand-in, parents first.
void readScratch(const std::string& scratch, scripts::CapturedRoot root, const std::string& path, int depth,
                 std::vector<scripts::CapturedKey>& keys)
{
    const platform::OpenKey key(HKEY_CURRENT_USER, text::below(scratch, path));
    if (!key) return;
    const std::vector<std::string> subKeys = depth < kDeepest ? key.subKeys() : std::vector<std::string>();
    const size_t slash = path.find('\\');
    if (slash != std::string::npos)
        keys.push_back({root, path.substr(slash + 1), key.values(), !subKeys.empty()});
    for (const std::string& sub : subKeys) readScratch(scratch, root, text::below(path, sub), depth + 1, keys);
}

// "0x80070005 (Access is denied)": the code, and the system's words when it has them.
std::string codeInWords(unsigned long code)
{
    const std::string words = systemMessage(code);
    return text::codeText(code) + (words.empty() ? "" : " (" + words + ")");
}

std::wstring pathForm(const std::wstring& path, DWORD(WINAPI* form)(LPCWSTR, LPWSTR, DWORD))
{
    std::wstring out(32768, L'\0');
    const DWORD length = form(path.c_str(), out.data(), DWORD(out.size()));
    if (length == 0 || length >= out.size()) return {};
    out.resize(length);
    return out;
}


} // namespace

int dllBits(const std::string& dll)
{
    const FileBytes first = readFileBytes(dll, doctor::kPeProbeBytes);
    if (!first.bytes) return 0;
    const doctor::PeImageInfo image = doctor::readPeImage(*first.bytes);
    if (!image.isDll) return 0;
    if (image.machine == doctor::PeMachine::X64) return 64;
    if (image.machine == doctor::PeMachine::X86) return 32;
    return 0;
}

namespace {

// What the helper answered, into the run; the keys of a capture that
// succeeded less what was seeded.
void takeAnswer(CaptureRun& run, const ProcessRun& helperRun, const std::string& scratchPath,
                const std::vector<scripts::CapturedKey>& seeded)
{
    using Outcome = CaptureRun::Outcome;
    const auto fields = text::fieldsOf(helperRun.output);
    const auto field = [&](const char* name) -> std::optional<std::string> {
        const auto found = fields.find(name);
        if (found == fields.end()) return std::nullopt;
        return found->second;
    };
    if (const auto module = field(scripts::answer::kModule)) run.module = *module;
    switch (helperRun.outcome) {
    case ProcessRun::Outcome::Missing: run.outcome = Outcome::HelperMissing; return;
    case ProcessRun::Outcome::NotStarted: run.outcome = Outcome::HelperFailed; return;
    case ProcessRun::Outcome::TimedOut: run.outcome = Outcome::TimedOut; return;
    case ProcessRun::Outcome::Exited: break;
    }
    if (helperRun.crashed()) {
        run.outcome = Outcome::Crashed;
        run.code = helperRun.exitCode;
        return;
    }
    if (helperRun.exitCode != static_cast<unsigned long>(text::helperExit::kRan)) {
        run.outcome = Outcome::HelperFailed;
        if (const auto error = field(scripts::answer::kOverrideError)) {
            const std::optional<unsigned long> code = text::codeOf(*error);
            const std::string words = code ? systemMessage(*code) : std::string();
            run.detail = "the registry could not be redirected: " + (words.empty() ? "" : words + " ") + "(error " +
                         *error + ")";
        }
        return;
    }
    if (const auto error = field(scripts::answer::kLoadError)) {
        run.outcome = Outcome::LoadFailed;
        run.code = text::codeOf(*error).value_or(0);
        return;
    }
    if (field(scripts::answer::kNoEntry)) {
        run.outcome = Outcome::NoEntry;
        return;
    }
    const std::optional<std::string> result = field(scripts::answer::kResult);
    if (!result) {
        run.outcome = Outcome::HelperFailed;
        run.detail = "it gave no result";
        return;
    }
    run.code = text::codeOf(*result).value_or(0x8000FFFFUL); // E_UNEXPECTED for an answer that is no code
    if (FAILED(static_cast<HRESULT>(run.code))) {
        run.outcome = Outcome::RegisterFailed;
        if (run.code == static_cast<unsigned long>(REGDB_E_CLASSNOTREG)) {
            std::vector<scripts::CapturedKey> written;
            for (const scripts::StandIn& standIn : scripts::kStandIns)
                readScratch(scratchPath, standIn.root, standIn.subKey, 0, written);
            run.activatesOwnClass = scripts::registersOwnClass(written, pathSpellingsOf(run));
        }
        return;
    }
    run.outcome = Outcome::Captured;
    std::vector<scripts::CapturedKey> keys;
    for (const scripts::StandIn& standIn : scripts::kStandIns)
        readScratch(scratchPath, standIn.root, standIn.subKey, 0, keys);
    run.keys = scripts::withoutSeed(keys, seeded);
}

} // namespace

CaptureRun captureRegistration(const std::string& dll, unsigned timeoutSeconds)
{
    using Outcome = CaptureRun::Outcome;
    CaptureRun run;
    run.dll = fullPath(dll);
    run.timeoutSeconds = timeoutSeconds;
    run.bits = dllBits(run.dll);
    run.helper = helperPath(run.bits == 32 ? 32 : 64);
    if (run.bits == 0) {
        run.outcome = Outcome::NotADll;
        return run;
    }
    sweepScratchKeys();
    const ScratchKey scratch;
    // What system code reads is there before the DLL runs, as it is on the
    // machine: its defaults are not the DLL's registration.
    scratch.seed();
    std::vector<scripts::CapturedKey> seeded;
    for (const scripts::StandIn& standIn : scripts::kStandIns)
        readScratch(scratch.path(), standIn.root, standIn.subKey, 0, seeded);
    // Both views' keys lie below these: Wow6432Node is a subkey of each.
    const std::array<Watch, 2> watches{Watch(HKEY_LOCAL_MACHINE, "Software"),
                                       Watch(HKEY_CURRENT_USER, "Software\\Classes")};
    if (!scratch || !watches[0] || !watches[1]) {
        run.outcome = Outcome::ScratchFailed;
        run.detail = "HKEY_CURRENT_USER\\" + scratch.path();
        return run;
    }
    FILETIME startTime{};
    GetSystemTimeAsFileTime(&startTime);
    const std::uint64_t start = numberOf(startTime);

    const ProcessRun helperRun = runHelper(run.bits, {"capture", scratch.path(), run.dll}, timeoutSeconds);

    // Whatever the helper did, a write into the real registry is told.
    const std::array<HANDLE, 2> events{watches[0].event(), watches[1].event()};
    WaitForMultipleObjects(DWORD(events.size()), events.data(), FALSE, kSettleMs);
    for (const Watch& watch : watches) {
        if (!watch.fired()) continue;
        run.escaped = true;
        for (std::string& name : watch.written(start)) run.escapedKeys.push_back(std::move(name));
    }

    takeAnswer(run, helperRun, scratch.path(), seeded);
    return run;
}

CapturedScripts captureScripts(const std::string& dll, const std::string& server, bool perUser, unsigned timeoutSeconds,
                               const std::string& templateScript, const std::string& templateUnRegister)
{
    CapturedScripts out;
    out.run = captureRegistration(dll, timeoutSeconds);
    const CaptureRun& run = out.run;
    if (run.escaped) {
        // Never a script, and never the claim that the real registry is untouched.
        for (const std::string& key : run.escapedKeys)
            out.problems.push_back("Written around the capture into the real registry: " + key);
        if (run.escapedKeys.empty())
            out.problems.emplace_back("A write into HKEY_LOCAL_MACHINE\\Software or HKEY_CURRENT_USER\\Software\\Classes "
                                      "was seen while the DLL ran, but its key could not be named.");
    }
    if (const std::string problem = captureProblem(run); !problem.empty()) out.problems.push_back(problem);
    if (!out.problems.empty()) return out;

    const scripts::CaptureTarget target{run.bits, perUser};
    const scripts::CapturePlan plan = scripts::planCapture(run.keys, target, pathSpellingsOf(run), server);
    for (const std::string& problem : plan.problems) out.problems.push_back(problem);
    if (!out.problems.empty()) return out;
    for (const std::string& key : plan.leftOut)
        out.notes.push_back("Left out of the per-user script, which holds no keys of the machine: " + key);
    for (const std::string& value : scripts::valuesOutsideClasses(plan))
        out.notes.push_back("Outside the classes, the script writes " + value);
    const std::string moreRegister = templateScript.empty() ? "" : scripts::bodyForTarget(templateScript, target);
    const std::string moreUnRegister =
        templateUnRegister.empty() ? "" : scripts::bodyForTarget(templateUnRegister, target);
    out.registerScript = scripts::registerScriptOf(plan, moreRegister);
    out.unRegisterScript = scripts::unRegisterScriptOf(plan, existingKeys(), moreUnRegister);
    out.clean = true;
    return out;
}

std::string captureProblem(const CaptureRun& run)
{
    using Outcome = CaptureRun::Outcome;
    const std::string dll = "\"" + run.dll + "\"";
    switch (run.outcome) {
    case Outcome::Captured: return "";
    case Outcome::NotADll: return dll + " is not a 64-bit or 32-bit DLL, or cannot be read.";
    case Outcome::HelperMissing: return "The helper \"" + run.helper + "\" is missing; it belongs beside this program.";
    case Outcome::HelperFailed:
        return "The helper \"" + run.helper + "\" " +
               (run.detail.empty() ? std::string("could not be started") +
                                         (run.bits == 32 ? " (a 32-bit DLL needs a system that runs 32-bit programs)."
                                                         : ".")
                                   : "failed: " + run.detail + ".");
    case Outcome::ScratchFailed:
        return "The scratch key " + run.detail + " could not be made, or the registry could not be watched.";
    case Outcome::LoadFailed: {
        const std::string words = systemMessage(run.code);
        return dll + " did not load: " + (words.empty() ? "the loader's error" : words + ",") + " error " +
               std::to_string(run.code) + ".";
    }
    case Outcome::NoEntry: return dll + " exports no DllRegisterServer.";
    case Outcome::RegisterFailed:
        return "DllRegisterServer of " + dll + " failed with " + codeInWords(run.code) +
               (run.activatesOwnClass ? ": the DLL activates a class of its own while registering: capture it where "
                                        "it is already registered (COM looks for the class in the real registry, "
                                        "not in the capture's)."
                                      : ".");
    case Outcome::Crashed:
        return "DllRegisterServer of " + dll + " crashed with the exception " + codeInWords(run.code) + ".";
    case Outcome::TimedOut:
        return "DllRegisterServer of " + dll + " did not finish within " + std::to_string(run.timeoutSeconds) +
               " seconds; the helper was ended.";
    }
    return "";
}

std::vector<std::string> pathSpellingsOf(const CaptureRun& run)
{
    std::vector<std::string> spellings;
    const auto add = [&](const std::wstring& wide) {
        if (wide.empty()) return;
        const std::string path = platform::utf8Of(wide);
        for (const std::string& s : spellings)
            if (text::equalIgnoringCase(s, path)) return;
        spellings.push_back(path);
    };
    for (const std::string& path : {run.dll, run.module}) {
        if (path.empty()) continue;
        const std::wstring wide = platform::wideOf(path);
        add(wide);
        add(pathForm(wide, GetLongPathNameW));
        add(pathForm(wide, GetShortPathNameW));
    }
    return spellings;
}

scripts::ExistingKeys existingKeys()
{
    const doctor::RegistryProbe probe = verifyProbe();
    return {probe.keyExists, [probe](scripts::RegRoot root, const std::string& path, const std::string& name) {
                return probe.value(root, path, name).has_value();
            }};
}

} // namespace platform
