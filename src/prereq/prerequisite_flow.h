#pragma once
#include "prereq/prerequisite.h"

class CInstaller;
class CMainDlg;

// Results of CheckAndInstallPrerequisites.
constexpr int kPrereqGoOn = 1;
constexpr int kPrereqStopped = 0;
constexpr int kPrereqCancelled = 2;
constexpr int kPrereqNoDialog = -1;

// Brings the machine up to what the product needs: reads the sections named by format, asks
// at the full user-interface level (or works unattended below it) and runs the chosen
// components. restartNeeded becomes 1 when a component answered 3010.
int CheckAndInstallPrerequisites(CInstaller& installer, const wchar_t* format, int& restartNeeded);

// Runs every selected record of the dialog's list. 0 when administrative rights are missing
// for a component that needs them (later records are not tried), else 1.
int InstallPrerequisites(CMainDlg& dialog, bool passive);
