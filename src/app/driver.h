#pragma once

class CInstaller;

// Takes the installer through the run's stages in their fixed order and answers the process
// exit code: 0 done, 2 start screen closed or ini missing, 3 refused or failed, 3010 restart
// needed and declined.
unsigned long RunInstallation(CInstaller& installer, wchar_t* commandLine);

// The entry's part after the command line's mode: the installer the ini asks for (a patch
// installer with MsiPatch=1, else a product installer) taken through RunInstallation.
unsigned long RunSetup(wchar_t* commandLine);

constexpr unsigned long kExitSuccess = 0;
constexpr unsigned long kExitClosed = 2;
constexpr unsigned long kExitRefused = 3;
constexpr unsigned long kExitRestartDeclined = 3010;
