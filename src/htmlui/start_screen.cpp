#include "htmlui/start_screen.h"

#include <windows.h>

#include "config/setup_ini.h"
#include "prereq/system_checks.h"
#include "win/text.h"

namespace {

bool EngineIsBesideProgram(const std::wstring& path)
{
    return path.size() < MAX_PATH && FileExists(path);
}

}  // namespace

bool StartDlg::OnBehaviorEvent(HELEMENT element, HlBehaviorRecord& record)
{
    if (record.cmd != HL_HYPERLINK_CLICK)
        return dialog::OnBehaviorEvent(element, record);
    const htmlayout::dom::element target(record.target);
    const int result = StartResultForHref(target.attribute("href"));
    if (result >= 0)
        result_ = result;
    PostMessageW(target.root_window(), WM_CLOSE, 0, 0);
    return true;
}

int StartResultForHref(const wchar_t* href)
{
    if (!href)
        return -1;
    if (EqualsNoCase(href, L"install"))
        return kStartInstall;
    if (EqualsNoCase(href, L"deployment"))
        return kStartDeploy;
    if (EqualsNoCase(href, L"cancel"))
        return kStartCancel;
    return -1;
}

int ShowStartScreen()
{
    const std::wstring enginePath = GetModulePath(false, true) + kHtmlEngineFile;
    const int showStartDialog = IniReadInt(kMainSection, MainKey::ShowStartDialog, 1);
    // The engine is probed whenever it is there, even when the ini switches the screen off.
    const bool available = EngineIsBesideProgram(enginePath) && IsHtmlLayoutAvailable();
    if (!available || showStartDialog == 0)
        return kStartInstall;

    StartDlg dialog;
    const void* page = nullptr;
    DWORD size = 0;
    if (!htmlayout::LoadProgramResource(MAKEINTRESOURCEW(kStartPageId), MAKEINTRESOURCEW(kHtmlResourceType), page,
                                        size))
        return kStartPageMissing;
    return dialog.RunModal(page, size);
}
