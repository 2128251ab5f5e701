#pragma once
#include <initializer_list>
#include <string>

#include "prereq/prerequisite.h"

// A listed component that needs no rights, runs the command and counts as present only when
// the file exists with a version (by default a file that never exists).
PrerequisiteInfo Component(const wchar_t* name, int optionalState, const std::wstring& command = L"cmd.exe /c exit 0",
                           const std::wstring& filePath = L"C:\\no-such-folder\\component.dll");
// A file with a version resource: what a component "installs" to become present.
std::wstring VersionedFile();
// A command that copies the versioned file to the path and ends with 0.
std::wstring CopyVersionedFileCommand(const std::wstring& path);
// A command that writes a small text file, so a test can see that it ran.
std::wstring MarkerCommand(const std::wstring& path);
// Every fragment occurs in the text, each after the previous one.
void ExpectLinesInOrder(const std::wstring& text, std::initializer_list<const wchar_t*> fragments);
