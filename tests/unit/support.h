#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// What the platform seams answer in the unit tests: 64-bit Windows 7 with service pack 1, US
// English, the clock at 2026.12.04 16:44:05. Message boxes are recorded, never shown.
struct FakePlatform {
    LANGID userLanguage = 0x0409;
    WORD nativeArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    DWORD major = 6, minor = 1;
    WORD servicePackMajor = 1, servicePackMinor = 0;
    bool versionCallFails = false;
    bool searchFlagsKnown = true;
    bool highContrast = false;  // false: Windows before 8 without the update that adds them
    std::vector<std::wstring> boxes;
    std::vector<std::pair<std::wstring, DWORD>> loads;  // the libraries loaded, with their flags
};
FakePlatform& Fake();

// Values under HKEY_CURRENT_USER\<kTestKey>, which every RunTest removes.
extern const wchar_t kTestKey[];
void SetRegistryValue(const wchar_t* name, DWORD type, const void* data, DWORD size);
void SetRegistryText(const wchar_t* name, const std::wstring& value);

std::wstring TempPath(const std::wstring& name);  // in the temporary folder, named for this process
void WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);
std::wstring ReadLogText();                     // the run's log without its byte-order mark
void WriteSetupIni(const std::string& ansiText);  // the ini beside the test program, which the code reads

// A test with fresh run settings and platform answers, and no log, setup ini or test key.
class RunTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};
