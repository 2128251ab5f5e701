#include "log/messages.h"

#include "app/settings.h"
#include "log/setup_log.h"
#include "platform/platform.h"
#include "resources/string_ids.h"
#include "win/format.h"

namespace {

LANGID TextLanguage()
{
    // Asked once per process: the texts of one run never switch language.
    static const LANGID language = platform::UserDefaultLangId();
    return language;
}

// The entry from the string-table block in exactly the given language; false when the
// program has no block in that language.
bool FindExactText(unsigned id, LANGID language, std::wstring& text)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC resource = FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), language);
    if (!resource)
        return false;
    HGLOBAL loaded = LoadResource(module, resource);
    const wchar_t* entry = loaded ? static_cast<const wchar_t*>(LockResource(loaded)) : nullptr;
    if (!entry)
        return false;
    const wchar_t* end = entry + SizeofResource(module, resource) / sizeof(wchar_t);
    for (unsigned index = 0; index < id % 16; ++index) {
        if (entry >= end)
            return false;
        entry += 1 + *entry;
    }
    if (entry >= end || entry + 1 + *entry > end)
        return false;
    text.assign(entry + 1, *entry);
    return true;
}

// LoadStringW picks the language by the platform's own resource rules.
std::wstring LoadTextByPlatformRules(unsigned id)
{
    size_t capacity = 1024;
    std::wstring buffer;
    for (int attempt = 0; attempt < 10; ++attempt, capacity *= 4) {
        buffer.assign(capacity, L'\0');
        int length = LoadStringW(GetModuleHandleW(nullptr), id, &buffer[0], static_cast<int>(capacity));
        if (length < 0)
            length = 0;
        buffer.resize(static_cast<size_t>(length));
        if (static_cast<size_t>(length) < capacity - 1)
            break;
    }
    return buffer;
}

}  // namespace

int ReportMessage(const SetupSettings& settings, HWND owner, const std::wstring& text,
                  const std::wstring& caption, UINT flags)
{
    WriteLog(settings.LogPath, text + L"\r\n", true);
    if (settings.UILevel != kUILevelFull)
        return IDOK;
    return platform::ShowMessageBox(owner, text.c_str(), caption.c_str(), flags);
}

int ShowMessage(const std::wstring& text, const std::wstring& caption, UINT flags, HWND owner)
{
    if (g_Settings.UILevel != kUILevelFull)
        return IDOK;
    const std::wstring shownCaption = caption.empty() ? LoadText(IDS_INSTALLATION_ERROR) : caption;
    return platform::ShowMessageBox(owner, text.c_str(), shownCaption.c_str(), flags);
}

int ShowAlways(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags)
{
    return platform::ShowMessageBox(owner, text.c_str(), caption.c_str(), flags);
}

std::wstring LoadText(unsigned id)
{
    return LoadTextIn(id, TextLanguage());
}

std::wstring LoadTextIn(unsigned id, LANGID language)
{
    std::wstring text;
    if (FindExactText(id, language, text))
        return text;
    return LoadTextByPlatformRules(id);
}

std::wstring FormatText(unsigned id, ...)
{
    const std::wstring format = LoadText(id);
    va_list args;
    va_start(args, id);
    std::wstring text = FormatV(format.c_str(), args);
    va_end(args);
    return text;
}

std::wstring LogFileNotice()
{
    wchar_t longPath[MAX_PATH] = {};
    const DWORD length = GetLongPathNameW(g_Settings.LogPath.c_str(), longPath, MAX_PATH);
    if (length >= MAX_PATH)
        longPath[0] = L'\0';
    return FormatText(IDS_LOG_FILE_SUFFIX, longPath);
}
