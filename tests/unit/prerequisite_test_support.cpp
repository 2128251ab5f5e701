#include "prerequisite_test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

PrerequisiteInfo Component(const wchar_t* name, int optionalState, const std::wstring& command,
                           const std::wstring& filePath)
{
    PrerequisiteInfo record;
    record.Name = name;
    record.InstParams = command;
    record.AdminNeed = 0;
    record.OptionalState = optionalState;
    record.FilePath = filePath;
    return record;
}

std::wstring VersionedFile()
{
    wchar_t folder[MAX_PATH] = {};
    GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\kernel32.dll";
}

std::wstring CopyVersionedFileCommand(const std::wstring& path)
{
    return L"cmd.exe /c copy /y \"" + VersionedFile() + L"\" \"" + path + L"\"";
}

std::wstring MarkerCommand(const std::wstring& path)
{
    return L"cmd.exe /c echo ran>\"" + path + L"\"";
}

void ExpectLinesInOrder(const std::wstring& text, std::initializer_list<const wchar_t*> fragments)
{
    size_t at = 0;
    for (const wchar_t* fragment : fragments) {
        const size_t found = text.find(fragment, at);
        if (found == std::wstring::npos) {
            ADD_FAILURE() << "missing in order: " << testing::PrintToString(std::wstring(fragment)) << "\nin:\n"
                          << testing::PrintToString(text);
            return;
        }
        at = found + wcslen(fragment);
    }
}
