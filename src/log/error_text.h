#pragma once
#include <string>

// The system's message text for a Windows error code, without its trailing line end;
// "Unknown error 0x%08X" when the system has none.
std::wstring SystemErrorText(unsigned long code);
// "Error(%d) '%s'"
std::wstring ErrorText(unsigned long code);
// "%s(%d) '%s'" with the text "Error" of the string table.
std::wstring ErrorTextCaptioned(unsigned long code);
