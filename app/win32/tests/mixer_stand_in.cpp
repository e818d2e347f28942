// Stands in for the recording mixer programs under Wine: appends its own file name and its
// command line to the file named by SONAVEX_MIXER_LOG, then stays running for a while, so
// a caller that waited for it would be seen waiting.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const char *name = std::strrchr(path, '\\');
    if (const char *log = std::getenv("SONAVEX_MIXER_LOG")) {
        if (FILE *file = std::fopen(log, "a")) {
            std::fprintf(file, "%s|%s\n", name ? name + 1 : path, GetCommandLineA());
            std::fclose(file);
        }
    }
    Sleep(10000);
    return 0;
}
