// A tiny library for the known-folder loading tests; it imports only system
// DLLs. The tests plant copies of it in the folders a plain LoadLibrary
// would search.
extern "C" __declspec(dllexport) int KnownLibraryProbe() {
    return 7;
}
