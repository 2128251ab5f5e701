#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <memory>

#include "app/command_line.h"
#include "app/driver.h"
#include "app/settings.h"
#include "config/setup_ini.h"
#include "msi/installer_msi.h"
#include "win/library.h"

namespace {

// comctl32 is no protected system library: it is loaded after the search has been restricted.
void RegisterCommonControls()
{
    UniqueLibrary comctl = LoadSystemLibrary(L"comctl32.dll");
    using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    auto init = GetProc<InitFn>(comctl.Get(), "InitCommonControlsEx");
    if (!init)
        return;
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    init(&controls);
    // The controls stay registered for the whole run.
    comctl.Release();
}

std::unique_ptr<CInstaller> CreateInstaller()
{
    return std::make_unique<CInstallerMsi>();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int)
{
    RestrictDllSearchToSystemFolder();
    CoInitialize(nullptr);
    RegisterCommonControls();

    ParseSwitches(commandLine, g_Settings);
    g_Settings.Mode = ParseMode(commandLine);
    if (g_Settings.Mode == ModeUsage) {
        ShowUsage();
        return static_cast<int>(kExitRefused);
    }

    unsigned long exitCode = 0;
    {
        std::unique_ptr<CInstaller> installer = CreateInstaller();
        exitCode = RunInstallation(*installer, commandLine);
    }
    CoUninitialize();
    return static_cast<int>(exitCode);
}
