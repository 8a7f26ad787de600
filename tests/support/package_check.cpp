// Loads the Varnel.dll named on the command line through the development host and
// takes it through description, initialisation and shut-down; exit code 0 when
// every step answered as expected.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "devhost/core/devhost.h"
#include "varnel_version.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fwprintf(stderr, L"usage: package_check <path of Varnel.dll>\n");
        return 2;
    }
    devhost::Init();
    devhost::Plugin plugin{};
    if (!devhost::LoadPlugin(argv[1], &plugin)) {
        std::fwprintf(stderr, L"cannot load %ls (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    wchar_t description[256] = {};
    const int32_t version = plugin.handler(1, reinterpret_cast<uint64_t>(description), 256, 0);
    const int32_t init = plugin.handler(2, 1, reinterpret_cast<uint64_t>(devhost::Table()), 0);
    const std::wstring caption = devhost::Caption(1).value_or(L"");
    const int32_t shut = plugin.handler(3, 0, 0, 0);
    devhost::UnloadPlugin(&plugin);
    std::wprintf(L"event 1 -> 0x%08X \"%ls\"; event 2 -> %d; caption \"%ls\"; event 3 -> %d\n",
                 static_cast<unsigned>(version), description, init, caption.c_str(), shut);
    const bool ok = version == 0x04020300 &&
                    std::wstring(description) == L"Tessera Varnel Plugin Ver. " VARNEL_VERSION_TEXT &&
                    init == 1 && caption == L"Switch Skin" && shut == 1;
    return ok ? 0 : 1;
}
