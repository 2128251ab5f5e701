#pragma once
#include <string>

struct SetupSettings;

// One token of the command line: its first and its last character.
struct Token {
    wchar_t* start = nullptr;
    wchar_t* last = nullptr;
    bool quoted = false;
};

constexpr unsigned long kNoMoreTokens = 259;  // ERROR_NO_MORE_ITEMS
constexpr unsigned long kBadArguments = 160;  // ERROR_BAD_ARGUMENTS

// Finds the token that starts at or after position. Answers kNoMoreTokens when only blanks
// or nothing remain, else 0.
unsigned long NextToken(wchar_t* position, Token& token);

int ParseMode(wchar_t* commandLine);
void ParseSwitches(wchar_t* commandLine, SetupSettings& settings);
int ParseUILevel(wchar_t* commandLine);
// Cuts the command line after the target. Answers 0, or kBadArguments when the target is
// missing or followed by more text.
unsigned long ParseAdminTarget(wchar_t* commandLine, std::wstring& target);
void CollectPublicProperties(wchar_t* commandLine, std::wstring& target);
void ShowUsage();
