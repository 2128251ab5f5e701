#pragma once
#include <string>

enum Mode : int {
    ModeInstall = 0,
    ModeUsage = 1,
    ModeStartScreen = 2,
    ModeAdminInstall = 3,
    ModeDeploy = 4,
};

// Windows Installer user-interface levels the program runs at.
constexpr int kUILevelFull = 5;
constexpr int kUILevelNone = 2;
constexpr int kUILevelBasicProgress = 67;

// The one record of a run, alive for the whole process.
struct SetupSettings {
    int Mode = 0;
    std::wstring MsiType;
    std::wstring AdminTargetDir;
    std::wstring PackagePath;
    std::wstring Properties;
    int UILevel = 0;
    unsigned LangId = 0;
    unsigned CodePage = 0;
    std::wstring Transform;
    std::wstring LogPath;
    std::wstring ReinstallMode;
};

extern SetupSettings g_Settings;
