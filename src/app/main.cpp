#include <windows.h>
#include <objbase.h>

#include "app/command_line.h"
#include "app/driver.h"
#include "app/settings.h"
#include "config/setup_ini.h"
#include "msi/installer_msi.h"
#include "msi/installer_msp.h"
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

    unsigned long exitCode;
    if (IniReadInt(kMainSection, L"MsiPatch", 0) == 1) {
        CInstallerMsp patch;
        exitCode = RunInstallation(patch, commandLine);
    } else {
        CInstallerMsi product;
        exitCode = RunInstallation(product, commandLine);
    }
    CoUninitialize();
    return static_cast<int>(exitCode);
}
