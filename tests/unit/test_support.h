#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

// A fresh empty folder under the temporary folder, removed with its files on destruction.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::wstring& Path() const { return path_; }
    std::wstring File(const wchar_t* name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

std::string ReadBytes(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::string& bytes);
// The UTF-16LE content after the byte-order mark.
std::wstring ReadLogText(const std::wstring& path);

// Writes the ini that the code under test reads: the one beside the test program.
class SetupIniFile {
public:
    explicit SetupIniFile(const std::string& ansiText);
    ~SetupIniFile();
    SetupIniFile(const SetupIniFile&) = delete;
    SetupIniFile& operator=(const SetupIniFile&) = delete;
};

// A throwaway key HKEY_CURRENT_USER\Software\SetupLauncherTests\<name>; the SetupLauncherTests
// key is removed with everything under it on destruction.
class ScratchRegistryKey {
public:
    explicit ScratchRegistryKey(const std::wstring& name);
    ~ScratchRegistryKey();
    ScratchRegistryKey(const ScratchRegistryKey&) = delete;
    ScratchRegistryKey& operator=(const ScratchRegistryKey&) = delete;
    HKEY Get() const { return key_; }
    // "Software\SetupLauncherTests\<name>"
    const std::wstring& KeyPath() const { return keyPath_; }
    // The full path of one of the key's values, as a registry condition names it; an empty name
    // gives the path of the key's default value, which ends in a backslash.
    std::wstring ValuePath(const wchar_t* valueName) const;
    void SetString(const wchar_t* valueName, const std::wstring& value);
    void SetDword(const wchar_t* valueName, DWORD value);

private:
    std::wstring keyPath_;
    HKEY key_ = nullptr;
};

// Sets the "Path" variable (unset for null) and puts the old value back on destruction.
class PathVariable {
public:
    explicit PathVariable(const wchar_t* value);
    ~PathVariable();
    PathVariable(const PathVariable&) = delete;
    PathVariable& operator=(const PathVariable&) = delete;

private:
    std::wstring old_;
    bool hadValue_ = false;
};

// A test that starts from empty run settings and the fake platform's defaults, with the run's
// log in a scratch folder.
class RunTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    ScratchFolder scratch;
};
