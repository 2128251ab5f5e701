// The command line's readers over any text: tokens stay inside the text and follow each other,
// the answers are among those defined, and the collected properties are trimmed tokens with "=".
#include <cassert>
#include <cstdint>

#include "app/command_line.h"
#include "app/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::wstring line(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
    line = line.substr(0, line.find(L'\0'));
    wchar_t* const text = &line[0];
    wchar_t* const end = text + line.size();
    Token token;
    for (wchar_t* position = text; NextToken(position, token) == 0; position = token.last + 1) {
        assert(token.start >= position && token.start <= token.last && token.last < end);
        assert(*token.start != L' ' && *token.start != L'\t' && (*token.start != L'"' || token.quoted));
    }
    const int mode = ParseMode(text);
    const bool blank = line.find_first_not_of(L" \t") == std::wstring::npos;
    assert(mode >= ModeInstall && mode <= ModeAdminInstall && (mode == ModeStartScreen) == blank);
    const int level = ParseUILevel(text);
    assert(level == kUILevelFull || level == kUILevelNone || level == kUILevelBasicProgress);
    SetupSettings settings;
    ParseSwitches(text, settings);
    assert(settings.LogPath.size() < line.size() || settings.LogPath.empty());
    std::wstring properties;
    CollectPublicProperties(text, properties);
    // Tokens joined by one blank each: a quote that ends a token may be followed by the next at once.
    assert(properties.size() <= 2 * line.size() && (properties.empty() || properties.find(L'=') != std::wstring::npos));
    const wchar_t* const blanks = L" \t\r\n";
    assert(properties.empty() || (!wcschr(blanks, properties.front()) && !wcschr(blanks, properties.back())));
    std::wstring target;
    if (ParseAdminTarget(text, target) == 0)
        assert(target.find(L'"') == std::wstring::npos && target.size() < line.size());
    return 0;
}
