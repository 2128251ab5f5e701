#include <windows.h>
#include <objbase.h>

#include "app/command_line.h"
#include "app/driver.h"
#include "app/settings.h"
#include "win/library.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int)
{
    RestrictDllSearchToSystemFolder();
    CoInitialize(nullptr);

    ParseSwitches(commandLine, g_Settings);
    g_Settings.Mode = ParseMode(commandLine);
    if (g_Settings.Mode == ModeUsage) {
        ShowUsage();
        return static_cast<int>(kExitRefused);
    }

    const unsigned long exitCode = RunSetup(commandLine);
    CoUninitialize();
    return static_cast<int>(exitCode);
}
