// DoctorX86.dll: a 32-bit DLL whose PE header the doctor's tests read. It is
// never loaded; one export is all it needs to be a DLL.
extern "C" __declspec(dllexport) int doctorSample() { return 32; }
