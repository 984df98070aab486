// A DLL the check must reject: exports named without the module-definition
// file (decorated on i686), one name too many, no resources.
extern "C" {
__declspec(dllexport) int __stdcall DllGetClassInfo(void*, void**) { return 0; }
__declspec(dllexport) int __stdcall DllCanUnloadNow() { return 0; }
__declspec(dllexport) int __stdcall ExtraExport() { return 0; }
}
