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
    DWORD major = 6;
    DWORD minor = 1;
    WORD servicePackMajor = 1;
    WORD servicePackMinor = 0;
    bool versionCallFails = false;
    std::vector<std::wstring> boxes;
};
FakePlatform& Fake();

// The registry key the tests write under, removed with everything in it by each RunTest.
extern const wchar_t kTestKey[];  // "Software\SetupLauncherTests"
void SetRegistryValue(const wchar_t* name, DWORD type, const void* data, DWORD size);
void SetRegistryText(const wchar_t* name, const std::wstring& value);

std::wstring TempPath(const std::wstring& name);  // in the temporary folder, named for this process
void WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);
std::wstring ReadLogText();  // the run's log without its byte-order mark
// The setup ini that the code under test reads: the one beside the test program.
void WriteSetupIni(const std::string& ansiText);

// A test with fresh run settings, platform answers, log, setup ini and test registry key.
class RunTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};
