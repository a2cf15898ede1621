// DoctorX86.dll: a 32-bit DLL whose PE header and tables the doctor's tests
// read. It is never loaded; it exports what a server exports.
extern "C" __declspec(dllexport) int doctorSample() { return 32; }
extern "C" __declspec(dllexport) long DllGetClassObject(const void*, const void*, void** object)
{
    if (object) *object = nullptr;
    return static_cast<long>(0x80040111L); // CLASS_E_CLASSNOTAVAILABLE
}
extern "C" __declspec(dllexport) long DllCanUnloadNow() { return 0; }
