// A library that imports known_library_dep.dll, as a vendor's driver library
// imports its companions: the tests see where that import is looked up.
extern "C" __declspec(dllimport) int KnownLibraryDep();

extern "C" __declspec(dllexport) int KnownLibraryUser() {
    return KnownLibraryDep() + 1;
}
