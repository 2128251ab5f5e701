#include "app/command_line.h"

#include <windows.h>

#include "app/settings.h"
#include "log/messages.h"
#include "log/setup_log.h"
#include "resources/string_ids.h"

namespace {

constexpr size_t kMaxSwitchName = 258;
constexpr size_t kMaxPropertyToken = 1038;

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

bool IsSwitch(const Token& token)
{
    return *token.start == L'/' || *token.start == L'-';
}

// Number of characters from first to last, both included.
size_t TokenLength(const Token& token)
{
    size_t length = 1;
    for (wchar_t* c = token.start; c < token.last; c = CharNextW(c))
        ++length;
    return length;
}

std::wstring TokenText(const Token& token)
{
    return std::wstring(token.start, CharNextW(token.last));
}

// The token after the given one; false when none is left.
bool NextTokenAfter(const Token& previous, Token& token)
{
    return NextToken(CharNextW(previous.last), token) == 0;
}

// The switch name after "/" or "-", or false when the scan must stop at this switch.
bool SwitchName(const Token& token, std::wstring& name)
{
    size_t length = TokenLength(token) - 1;
    if (length < 1 || length > kMaxSwitchName)
        return false;
    name.assign(CharNextW(token.start), CharNextW(token.last));
    return true;
}

}  // namespace

unsigned long NextToken(wchar_t* position, Token& token)
{
    while (IsBlank(*position))
        position = CharNextW(position);
    if (*position == L'\0')
        return kNoMoreTokens;
    token.start = position;
    token.quoted = *position == L'"';
    wchar_t* end = position;
    for (;;) {
        end = CharNextW(end);
        if (*end == L'=' && end[1] == L'"') {
            // name="value with blanks" stays one token.
            token.quoted = true;
            end = CharNextW(end);
            continue;
        }
        if (*end == L'\0')
            break;
        if (token.quoted && *end == L'"') {
            end = CharNextW(end);
            break;
        }
        if (!token.quoted && IsBlank(*end))
            break;
    }
    token.last = CharPrevW(token.start, end);
    return 0;
}

int ParseMode(wchar_t* commandLine)
{
    Token token;
    if (!commandLine || NextToken(commandLine, token) != 0)
        return ModeStartScreen;
    if (token.quoted || TokenLength(token) != 2)
        return ModeUsage;
    if (*token.start != L'/' && *token.start != L'-')
        return ModeUsage;
    wchar_t option = *CharNextW(token.start);
    if (option == L'A' || option == L'a')
        return ModeAdminInstall;
    if (option == L'i')
        return ModeInstall;
    return ModeUsage;
}

void ParseSwitches(wchar_t* commandLine, SetupSettings& settings)
{
    Token token;
    if (!commandLine || NextToken(commandLine, token) != 0)
        return;
    while (NextTokenAfter(token, token)) {
        if (!IsSwitch(token))
            continue;
        std::wstring name;
        if (!SwitchName(token, name))
            return;
        if (lstrcmpiW(name.c_str(), L"log") != 0)
            continue;
        // The path is all the text after the switch and one separating character.
        wchar_t* afterSwitch = CharNextW(token.last);
        settings.LogPath = *afterSwitch ? std::wstring(CharNextW(afterSwitch)) : std::wstring();
    }
}

int ParseUILevel(wchar_t* commandLine)
{
    Token token;
    if (!commandLine || NextToken(commandLine, token) != 0)
        return kUILevelFull;
    while (NextTokenAfter(token, token)) {
        if (!IsSwitch(token))
            continue;
        std::wstring name;
        if (!SwitchName(token, name))
            return kUILevelFull;
        if (lstrcmpiW(name.c_str(), L"quiet") == 0)
            return kUILevelNone;
        if (lstrcmpiW(name.c_str(), L"passive") == 0)
            return kUILevelBasicProgress;
    }
    return kUILevelFull;
}

unsigned long ParseAdminTarget(wchar_t* commandLine, std::wstring& target)
{
    Token option;
    if (NextToken(commandLine, option) != 0)
        return kBadArguments;
    Token folder;
    if (!NextTokenAfter(option, folder))
        return kBadArguments;
    wchar_t* afterTarget = CharNextW(folder.last);
    if (*afterTarget != L'\0') {
        for (wchar_t* c = CharNextW(afterTarget); *c; c = CharNextW(c)) {
            if (!IsBlank(*c))
                return kBadArguments;
        }
    }
    *afterTarget = L'\0';
    target.clear();
    for (wchar_t* c = folder.start; *c; c = CharNextW(c)) {
        if (*c != L'"')
            target.append(c, CharNextW(c));
    }
    return 0;
}

void CollectPublicProperties(wchar_t* commandLine, std::wstring& target)
{
    target.clear();
    Token token;
    if (!commandLine || NextToken(commandLine, token) != 0)
        return;
    while (NextTokenAfter(token, token)) {
        if (IsSwitch(token))
            continue;
        if (TokenLength(token) > kMaxPropertyToken) {
            // The collection ends here; an administrator finds in the log which properties were left out.
            LogPrintf(L"Public properties not passed from '%s...' on: it is longer than %d characters.\r\n",
                      TokenText(token).substr(0, 32).c_str(), static_cast<int>(kMaxPropertyToken));
            break;
        }
        std::wstring text = TokenText(token);
        if (text.find(L'=') != std::wstring::npos) {
            target += text;
            target += L' ';
        }
    }
    const wchar_t* kWhiteSpace = L" \t\r\n";
    size_t first = target.find_first_not_of(kWhiteSpace);
    if (first == std::wstring::npos) {
        target.clear();
        return;
    }
    target = target.substr(first, target.find_last_not_of(kWhiteSpace) - first + 1);
}

void ShowUsage()
{
    ShowAlways(nullptr, LoadText(IDS_USAGE_TEXT), LoadText(IDS_USAGE_CAPTION), MB_ICONINFORMATION);
}
