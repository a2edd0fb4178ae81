// The dependency of known_library_user: found only where the tests put it.
extern "C" __declspec(dllexport) int KnownLibraryDep() {
    return 11;
}
