// Why the library could not bind its decoder modules, in the system loader's
// words.
#ifndef QUORVAN_TOOLS_MODULEDIAGNOSIS_H
#define QUORVAN_TOOLS_MODULEDIAGNOSIS_H

#include <string>

// For DecodeMpegToWav's results 7 (neither module loads) and 8 (a required
// entry point is missing): binds the two modules again with the converter's
// own binding, searching where the library searches, and says which module
// failed and why, e.g. "libmasd32.so: libsoxr.so.0: cannot open shared object
// file: No such file or directory". "" for any other code. Whatever changed on
// disk since the failed call shows here as it is now.
std::string DiagnoseDecoderModules(int code);

// The loader's reason, in the system's words, for the LoadLibraryA of module
// (entryPoint null) or the GetProcAddress of entryPoint in it that has just
// failed, naming the module: what the platform's loader recorded
// (tools/linux/, tools/win32/).
std::string LoaderFailure(const char* module, const char* entryPoint);

// Makes the loads of this process search for the modules where the library
// searches: beside libQuorvan and in its module folder on POSIX systems,
// beside Quorvan.dll first on Windows (the command links its own copy of the
// binding).
void SearchModulesAsTheLibrary();

#endif
