#include "helper/RegisterIntoScratch.h"

#include "helper/Answer.h"
#include "helper/OtherView.h"
#include "scripts/CapturedRegistration.h"
#include "platform/Wide.h"
#include "text/Text.h"

#include <windows.h>

#include <objbase.h>

#include <array>
#include <string>

namespace helper {

namespace {

std::wstring wide(const char* ascii)
{
    return {ascii, ascii + std::char_traits<char>::length(ascii)};
}

// The predefined key a stand-in is for; none for the other view's, which
// calls reach through helper/OtherView.h.
HKEY predefinedKeyOf(scripts::CapturedRoot root)
{
    switch (root) {
    case scripts::CapturedRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case scripts::CapturedRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case scripts::CapturedRoot::CurrentUser: return HKEY_CURRENT_USER;
    case scripts::CapturedRoot::Users: return HKEY_USERS;
    case scripts::CapturedRoot::OtherViewClasses: return nullptr;
    }
    return nullptr;
}

} // namespace

int runCapture(const std::vector<std::wstring>& arguments)
{
    if (arguments.size() != 2 || arguments[0].empty() || arguments[1].empty()) return text::helperExit::kUsage;
    const std::wstring& scratch = arguments[0];
    const std::wstring& dll = arguments[1];

    // Every scratch subkey is opened before any predefined key is pointed
    // anywhere: once HKEY_CURRENT_USER is overridden, the scratch key could
    // no longer be reached through it.
    namespace field = scripts::answer;
    const auto& standIns = scripts::kStandIns;
    answer(field::kStage, "override");
    std::array<HKEY, scripts::kStandIns.size()> targets{};
    for (size_t i = 0; i < standIns.size(); ++i) {
        const std::wstring path = scratch + L"\\" + wide(standIns[i].subKey);
        const LSTATUS opened = RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &targets[i]);
        if (opened != ERROR_SUCCESS) {
            answer(field::kOverrideError, std::to_string(opened));
            return text::helperExit::kSetupFailed;
        }
    }
    HKEY otherView = nullptr; // stays open while the DLL runs
    for (size_t i = 0; i < standIns.size(); ++i) {
        const HKEY predefined = predefinedKeyOf(standIns[i].root);
        if (!predefined) {
            otherView = targets[i];
            continue;
        }
        const LSTATUS overridden = RegOverridePredefKey(predefined, targets[i]);
        // The override holds its own reference to the key.
        RegCloseKey(targets[i]);
        if (overridden != ERROR_SUCCESS) {
            answer(field::kOverrideError, std::to_string(overridden));
            return text::helperExit::kSetupFailed;
        }
    }

    // As regsvr32 does: COM is ready for the DLL, which may register a type
    // library or ask for other classes.
    const HRESULT initialized = OleInitialize(nullptr);

    answer(field::kStage, "load");
    SetLastError(ERROR_SUCCESS);
    HMODULE module = LoadLibraryExW(dll.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) {
        answer(field::kLoadError, std::to_string(GetLastError()));
        answer(field::kStage, "done");
        return text::helperExit::kRan;
    }
    std::wstring file(32768, L'\0');
    file.resize(GetModuleFileNameW(module, file.data(), DWORD(file.size())));
    answer(field::kModule, platform::utf8Of(file));

    // Loaded now, so that the type library's registration is redirected too;
    // it stays loaded for the helper's life.
    LoadLibraryW(L"oleaut32.dll");
    sendOtherViewTo(otherView);

    using RegisterServer = HRESULT(STDAPICALLTYPE*)();
    const FARPROC entry = GetProcAddress(module, "DllRegisterServer");
    if (!entry) {
        answer(field::kNoEntry, "1");
        answer(field::kStage, "done");
        return text::helperExit::kRan;
    }
    answer(field::kStage, "register");
    const HRESULT result = reinterpret_cast<RegisterServer>(reinterpret_cast<void (*)()>(entry))();
    answer(field::kResult, text::codeText(static_cast<unsigned long>(result)));
    answer(field::kStage, "done");
    // The DLL stays loaded and COM initialized until the process ends: a DLL
    // that left threads behind must not be unloaded under them.
    (void)initialized;
    return text::helperExit::kRan;
}

} // namespace helper
