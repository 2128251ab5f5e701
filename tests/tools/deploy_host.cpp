// deploy_host: the deployment road of the program's library on a distribution folder, as
// setup.exe takes it once its start screen chose deployment:
//   deploy_host <distribution folder>
// The folder stands for setup.exe's own: its setup.ini, package and License.rtf are used. The
// exit code is the driver's.
#include <windows.h>
#include <objbase.h>

#include <string>

#include "app/driver.h"
#include "app/settings.h"
#include "config/setup_ini.h"
#include "win/library.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2)
        return 1;
    wchar_t folder[MAX_PATH];
    const DWORD length = GetFullPathNameW(argv[1], MAX_PATH, folder, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    std::wstring program(folder, length);
    if (program.back() != L'\\')
        program += L'\\';
    SetProgramFile(program + L"setup.exe");

    RestrictDllSearchToSystemFolder();
    CoInitialize(nullptr);
    g_Settings.Mode = ModeDeploy;
    wchar_t noOptions[] = L"";
    const unsigned long code = RunSetup(noOptions);
    CoUninitialize();
    return static_cast<int>(code);
}
