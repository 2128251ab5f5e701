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

// A test that starts from empty run settings and the fake platform's defaults, with the run's
// log in a scratch folder.
class RunTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    ScratchFolder scratch;
};
