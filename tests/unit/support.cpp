#include "support.h"

#include <cstdio>

#include "app/settings.h"
#include "config/setup_ini.h"
#include "platform/platform.h"

const wchar_t kTestKey[] = L"Software\\SetupLauncherTests";

FakePlatform& Fake()
{
    static FakePlatform fake;
    return fake;
}

namespace platform {

LANGID UserDefaultLangId() { return Fake().userLanguage; }
SYSTEMTIME LocalTime() { return {2026, 12, 5, 4, 16, 44, 5, 0}; }
WORD NativeProcessorArchitecture() { return Fake().nativeArchitecture; }
bool TokenIsMemberOf(PSID) { return true; }
BOOL RequestExitWindows(UINT, DWORD) { return FALSE; }
bool HighContrastOn() { return Fake().highContrast; }

int ShowMessageBox(HWND, const wchar_t* text, const wchar_t*, UINT)
{
    Fake().boxes.push_back(text);
    return IDOK;
}

BOOL GetWindowsVersion(OSVERSIONINFOW* version)
{
    version->dwMajorVersion = Fake().major;
    version->dwMinorVersion = Fake().minor;
    return !Fake().versionCallFails;
}

// Answers as Windows does the one question the program asks: are all four numbers at least the
// wanted ones, compared in order? Any other question is refused.
BOOL VerifyWindowsVersion(OSVERSIONINFOEXW* wanted, DWORD typeMask, DWORDLONG conditionMask)
{
    DWORDLONG atLeast = 0;
    for (DWORD type : {VER_MAJORVERSION, VER_MINORVERSION, VER_SERVICEPACKMAJOR, VER_SERVICEPACKMINOR})
        atLeast = VerSetConditionMask(atLeast, type, VER_GREATER_EQUAL);
    const auto number = [](ULONGLONG major, ULONGLONG minor, ULONGLONG pack, ULONGLONG packMinor) {
        return major << 48 | minor << 32 | pack << 16 | packMinor;
    };
    return typeMask == (VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR | VER_SERVICEPACKMINOR) &&
           conditionMask == atLeast &&
           number(Fake().major, Fake().minor, Fake().servicePackMajor, Fake().servicePackMinor) >=
               number(wanted->dwMajorVersion, wanted->dwMinorVersion, wanted->wServicePackMajor, wanted->wServicePackMinor);
}

HMODULE LoadLibraryWithFlags(const wchar_t* path, DWORD flags)
{
    Fake().loads.emplace_back(path, flags);
    if (!Fake().searchFlagsKnown && (flags & 0xFF00)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return LoadLibraryExW(path, nullptr, flags);
}

}  // namespace platform

void SetRegistryValue(const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void SetRegistryText(const wchar_t* name, const std::wstring& value)
{
    SetRegistryValue(name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1) * sizeof(wchar_t));
}

std::wstring TempPath(const std::wstring& name)
{
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return folder + std::to_wstring(GetCurrentProcessId()) + L"-" + name;
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    FILE* file = _wfopen(path.c_str(), L"wb");
    ASSERT_TRUE(file) << testing::PrintToString(path) << " cannot be written";
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

std::string ReadBytes(const std::wstring& path)
{
    std::string bytes(1 << 16, '\0');
    FILE* file = _wfopen(path.c_str(), L"rb");
    bytes.resize(file ? fread(&bytes[0], 1, bytes.size(), file) : 0);
    if (file)
        fclose(file);
    return bytes;
}

std::wstring ReadLogText()
{
    const std::string bytes = ReadBytes(g_Settings.LogPath);
    return bytes.size() < 2 ? L"" : std::wstring(reinterpret_cast<const wchar_t*>(&bytes[2]), (bytes.size() - 2) / 2);
}

void WriteSetupIni(const std::string& ansiText)
{
    WriteBytes(GetIniPath(), ansiText);
    // The profile functions may hold a copy of an earlier file of the same name.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, GetIniPath().c_str());
}

void RunTest::SetUp()
{
    Fake() = FakePlatform();
    g_Settings = SetupSettings();
    g_Settings.LogPath = TempPath(L"unit.log");
    TearDown();
}

void RunTest::TearDown()
{
    DeleteFileW(g_Settings.LogPath.c_str());
    DeleteFileW(GetIniPath().c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
}

int wmain(int argc, wchar_t** argv)
{
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
