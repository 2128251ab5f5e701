#include "test_support.h"

#include <cstdio>

#include "app/settings.h"
#include "config/setup_ini.h"
#include "fake_platform.h"
#include "msi/package_info.h"

ScratchFolder::ScratchFolder()
{
    static unsigned counter = 0;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    wchar_t name[64];
    _snwprintf(name, 64, L"unit-%lu-%u", GetCurrentProcessId(), ++counter);
    path_ = std::wstring(temp) + name;
    CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder()
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path_ + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring file = path_ + L"\\" + data.cFileName;
            SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(file.c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(path_.c_str());
}

std::string ReadBytes(const std::wstring& path)
{
    std::string bytes;
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file)
        return bytes;
    char buffer[4096];
    size_t count;
    while ((count = fread(buffer, 1, sizeof(buffer), file)) > 0)
        bytes.append(buffer, count);
    fclose(file);
    return bytes;
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file)
        return;
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

std::wstring ReadLogText(const std::wstring& path)
{
    std::string bytes = ReadBytes(path);
    if (bytes.size() < 2)
        return std::wstring();
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
}

SetupIniFile::SetupIniFile(const std::string& ansiText)
{
    WriteBytes(GetIniPath(), ansiText);
    // The profile functions may hold a cached copy of an earlier file of the same name.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, GetIniPath().c_str());
}

SetupIniFile::~SetupIniFile()
{
    DeleteFileW(GetIniPath().c_str());
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, GetIniPath().c_str());
}

ScratchRegistryKey::ScratchRegistryKey(const std::wstring& name)
    : keyPath_(L"Software\\SetupLauncherTests\\" + name)
{
    RegCreateKeyExW(HKEY_CURRENT_USER, keyPath_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
}

ScratchRegistryKey::~ScratchRegistryKey()
{
    RegCloseKey(key_);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\SetupLauncherTests");
}

std::wstring ScratchRegistryKey::ValuePath(const wchar_t* valueName) const
{
    return L"HKEY_CURRENT_USER\\" + keyPath_ + L"\\" + valueName;
}

void ScratchRegistryKey::SetString(const wchar_t* valueName, const std::wstring& value)
{
    RegSetValueExW(key_, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void ScratchRegistryKey::SetDword(const wchar_t* valueName, DWORD value)
{
    RegSetValueExW(key_, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

PathVariable::PathVariable(const wchar_t* value)
{
    wchar_t old[32767];
    const DWORD length = GetEnvironmentVariableW(L"Path", old, 32767);
    hadValue_ = length > 0 && length < 32767;
    if (hadValue_)
        old_.assign(old, length);
    SetEnvironmentVariableW(L"Path", value);
}

PathVariable::~PathVariable()
{
    SetEnvironmentVariableW(L"Path", hadValue_ ? old_.c_str() : nullptr);
}

void RunTest::SetUp()
{
    Fake().Reset();
    g_Settings = SetupSettings();
    g_Settings.LogPath = scratch.File(L"setup.log");
    g_PackageInfo = PackageInfo();
}

void RunTest::TearDown()
{
    g_Settings = SetupSettings();
    g_PackageInfo = PackageInfo();
}
