#include "config/language.h"

#include <windows.h>

#include "app/settings.h"
#include "config/setup_ini.h"
#include "log/setup_log.h"
#include "platform/platform.h"
#include "win/format.h"

namespace {

constexpr unsigned kChinese = LANG_CHINESE;

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

std::wstring TransformPath(unsigned langId)
{
    return GetModulePath(false, true) + Format(L"%d.mst", static_cast<int>(langId));
}

unsigned PrimaryLanguage(unsigned id)
{
    if (id == 0xFFFFFFFF)
        return 0;
    const unsigned primary = id & 0x3FF;
    if (primary != kChinese)
        return primary;
    switch (id) {
    case 4100:  // Singapore
    case 2052:  // PRC
        return 2052;
    case 5124:  // Macao
    case 3076:  // Hong Kong
    case 1028:  // Taiwan
        return 1028;
    default:
        return kChinese;
    }
}

void SelectLanguageTransform(SetupSettings& settings)
{
    settings.LangId = static_cast<unsigned>(IniReadInt(kMainSection, MainKey::LangId, 0));
    const bool fromIni = settings.LangId != 0;
    if (fromIni) {
        LogPrintf(L"LangId %d is set from ini file\r\n", static_cast<int>(settings.LangId));
    } else {
        settings.LangId = platform::UserDefaultLangId();
        LogPrintf(L"User LangId is %d\r\n", static_cast<int>(settings.LangId));
    }

    std::wstring path = TransformPath(settings.LangId);
    if (FileExists(path)) {
        settings.Transform = path;
        return;
    }
    if (fromIni) {
        LogLine(L"LangId transform not found\r\n");
        return;
    }
    LogPrintf(L"Language transform for LangId %d not found, trying primary language\r\n",
              static_cast<int>(settings.LangId));

    const unsigned primary = PrimaryLanguage(settings.LangId);
    if (primary == 0)
        return;
    // The primary language with its default sub-language (SUBLANG_DEFAULT is 1).
    settings.LangId = (primary & 0xFFFF) | 0x400;
    path = TransformPath(settings.LangId);
    LogPrintf(L"Primary LangId is %d\r\n", static_cast<int>(settings.LangId));
    if (FileExists(path))
        settings.Transform = path;
    else
        LogLine(L"Primary LangId transform not found\r\n");
}
