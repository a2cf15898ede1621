// The fixture DLLs of the dependency checks, one role each, chosen by a
// macro when built (doctor.cmake):
//   DEPS_ADDIN    DepsAddIn.dll: a server that imports DepsHelper.dll
//   DEPS_HELPER   DepsHelper.dll: imports DepsMissing.dll, which is never installed
//   DEPS_MISSING  DepsMissing.dll: only linked against
//   DEPS_LIB      DepsLib.dll: exports libOne, and libTwo when DEPS_LIB_TWO is set
//   DEPS_USER     DepsUser.dll: a server that imports libOne and libTwo
//   DEPS_NOENTRY  DepsNoEntry.dll: a DLL without DllGetClassObject
// The servers never serve a class: the tests only ask whether they load.
#define EXPORT extern "C" __declspec(dllexport)

#if defined(DEPS_ADDIN) || defined(DEPS_USER)
#define CLASS_E_CLASSNOTAVAILABLE static_cast<long>(0x80040111L)
EXPORT long DllGetClassObject(const void*, const void*, void** object)
{
    if (object) *object = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}
EXPORT long DllCanUnloadNow() { return 0; }
#endif

#if defined(DEPS_ADDIN)
extern "C" __declspec(dllimport) int helperOne();
EXPORT int addInOne() { return helperOne(); }
#elif defined(DEPS_HELPER)
extern "C" __declspec(dllimport) int missingOne();
EXPORT int helperOne() { return missingOne() + 1; }
#elif defined(DEPS_MISSING)
EXPORT int missingOne() { return 1; }
#elif defined(DEPS_LIB)
EXPORT int libOne() { return 1; }
#if defined(DEPS_LIB_TWO)
EXPORT int libTwo() { return 2; }
#endif
#elif defined(DEPS_USER)
extern "C" __declspec(dllimport) int libOne();
extern "C" __declspec(dllimport) int libTwo();
EXPORT int userOne() { return libOne() + libTwo(); }
#elif defined(DEPS_NOENTRY)
EXPORT long DllCanUnloadNow() { return 0; }
#endif
