#include "deploy/deployment_wizard.h"

#include <windows.h>
#include <commctrl.h>
#include <richedit.h>
#include <shlobj.h>

#include <vector>

#include "config/setup_ini.h"
#include "deploy/deployment_scan.h"
#include "deploy/deployment_worker.h"
#include "log/error_text.h"
#include "log/messages.h"
#include "log/setup_log.h"
#include "prereq/system_checks.h"
#include "resources/string_ids.h"
#include "win/format.h"
#include "win/library.h"

namespace {

// Resources of the wizard.
constexpr int kWatermarkBitmap = 217;
constexpr int kHeaderBitmap = 218;
constexpr int kSheetIcon = 222;

// Controls of the page templates.
constexpr int kIdWelcomeTitle = 10015;
constexpr int kIdWelcomeText = 10016;
constexpr int kIdFolderLabel = 10018;
constexpr int kIdFolderEdit = 10019;
constexpr int kIdSelectFolder = 10020;
constexpr int kIdCommonFolderEdit = 10025;
constexpr int kIdCommonFolderGroup = 10028;
constexpr int kIdReadyText = 10029;
constexpr int kIdLicenseAccept = 10031;
constexpr int kIdLicenseText = 10032;
constexpr int kIdProgress = 10033;
constexpr int kIdCopyLabel = 10034;
constexpr int kIdPleaseWait = 10035;
constexpr int kIdStateLabel = 10036;
constexpr int kIdFileLabel = 10037;
constexpr int kIdCompleteTitle = 10038;
constexpr int kIdCompleteText = 10039;
constexpr int kIdUploadChoices = 10042;
constexpr int kIdUploadLabel = 10043;
constexpr int kIdLogDescription = 10044;

constexpr int kHeaderPoints = 12;
constexpr int kButtonTextChars = 32;

using UniqueItemList = UniqueResource<NullableTraits<PIDLIST_ABSOLUTE, &CoTaskMemFree>>;

std::wstring WindowText(HWND window)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, &text[0], static_cast<int>(text.size()))));
    return text;
}

// The page's font at 12 points, weight unchanged, on the control; the font lives in owner.
void SetHeaderFont(HWND page, HWND control, UniqueFont& owner)
{
    LOGFONTW description = {};
    const HFONT pageFont = reinterpret_cast<HFONT>(SendMessageW(page, WM_GETFONT, 0, 0));
    GetObjectW(pageFont ? pageFont : GetStockObject(DEFAULT_GUI_FONT), sizeof(description), &description);
    const HDC screen = GetDC(nullptr);
    description.lfHeight = -MulDiv(kHeaderPoints, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    owner.Reset(CreateFontIndirectW(&description));
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(owner.Get()), TRUE);
}

std::wstring NextButtonText(HWND sheet)
{
    wchar_t text[kButtonTextChars + 1] = {};
    GetDlgItemTextW(sheet, kIdWizardNext, text, kButtonTextChars + 1);
    return text;
}

void SelectLastPage(HWND sheet)
{
    const HWND tabs = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
    const LRESULT pages = SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0);
    SendMessageW(sheet, PSM_SETCURSEL, static_cast<WPARAM>(pages - 1), 0);
}

DWORD WINAPI ReadLicense(DWORD_PTR file, LPBYTE buffer, LONG wanted, LONG* read)
{
    DWORD done = 0;
    if (wanted > 0 && !ReadFile(reinterpret_cast<HANDLE>(file), buffer, static_cast<DWORD>(wanted), &done, nullptr))
        done = 0;
    *read = static_cast<LONG>(done);
    return 0;
}

int WINAPI BrowseCallback(HWND window, UINT message, LPARAM, LPARAM initialFolder)
{
    if (message == BFFM_INITIALIZED) {
        SendMessageW(window, BFFM_SETSELECTIONW, TRUE, initialFolder);
        SendMessageW(window, BFFM_SETEXPANDED, TRUE, initialFolder);
    }
    return 0;
}

}  // namespace

void QueryCancelDeployment(HWND sheet, DeploymentState& state)
{
    if (ConfirmCancel(state))
        SelectLastPage(sheet);
}

bool DeploymentPage::OnQueryCancel()
{
    QueryCancelDeployment(Sheet(), state_);
    return false;
}

DeploymentWelcomePage::DeploymentWelcomePage(DeploymentState& state, const std::wstring& product)
    : DeploymentPage(IDD, state, product)
{
    HideHeader();
}

bool DeploymentWelcomePage::OnInitDialog()
{
    SetHeaderFont(Handle(), Item(kIdWelcomeTitle), headerFont_);
    SetDlgItemTextW(Handle(), kIdWelcomeTitle, FormatText(IDS_DEPLOY_WELCOME_TITLE, product_.c_str()).c_str());
    SetDlgItemTextW(Handle(), kIdWelcomeText, FormatText(IDS_DEPLOY_WELCOME_TEXT, product_.c_str()).c_str());
    return true;
}

void DeploymentWelcomePage::OnSetActive()
{
    SetWizardButtons(PSWIZB_NEXT);
}

DeploymentLicensePage::DeploymentLicensePage(DeploymentState& state, const std::wstring& product)
    : DeploymentPage(IDD, state, product)
{
    SetHeader(LoadText(IDS_DEPLOY_LICENSE_TITLE), LoadText(IDS_DEPLOY_LICENSE_SUBTITLE));
}

bool DeploymentLicensePage::OnInitDialog()
{
    richEdit_ = Item(kIdLicenseText);
    const std::wstring path =
        GetModulePath(false, true) + IniReadString(kMainSection, MainKey::LicenseFile, kDefaultLicenseFile);
    UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        LogPrintf(L"Can't open license agreement file '%s'. %s\r\n", path.c_str(), ErrorText(error).c_str());
        ShowDeploymentMessage(
            FormatText(IDS_DEPLOY_LICENSE_OPEN_FAILED, path.c_str(), ErrorTextCaptioned(error).c_str()),
            MB_ICONERROR);
        LicenseLoadFailed = true;
        // Posted: the sheet is still making this page its current one, and the close must reach
        // this page's cancel answer.
        PostMessageW(Sheet(), WM_CLOSE, 0, 0);
        return true;
    }
    EDITSTREAM stream = {};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(file.Get());
    stream.pfnCallback = &ReadLicense;
    SendMessageW(richEdit_, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    SetDlgItemTextW(Handle(), kIdLicenseAccept, LoadText(IDS_DEPLOY_LICENSE_ACCEPT).c_str());
    return true;
}

bool DeploymentLicensePage::OnCommand(int id, int code)
{
    if (id != kIdLicenseAccept || code != BN_CLICKED)
        return false;
    LicenseAccepted = SendMessageW(Item(kIdLicenseAccept), BM_GETCHECK, 0, 0) == BST_CHECKED;
    PostButtons();
    return true;
}

void DeploymentLicensePage::OnSetActive()
{
    PostButtons();
}

void DeploymentLicensePage::PostButtons() const
{
    SetWizardButtons(LicenseAccepted ? PSWIZB_BACK | PSWIZB_NEXT : PSWIZB_BACK);
}

bool DeploymentLicensePage::OnQueryCancel()
{
    if (!LicenseLoadFailed)
        return DeploymentPage::OnQueryCancel();
    // The agreement could not be shown: the run ends cancelled, without a question.
    state_.Cancelled = true;
    SelectLastPage(Sheet());
    return false;
}

DeploymentDirectoryPage::DeploymentDirectoryPage(DeploymentState& state, const std::wstring& product)
    : DeploymentPage(IDD, state, product)
{
    SetHeader(LoadText(IDS_DEPLOY_FOLDER_TITLE), FormatText(IDS_DEPLOY_FOLDER_SUBTITLE, product.c_str()));
}

bool DeploymentDirectoryPage::OnInitDialog()
{
    SetDlgItemTextW(Handle(), kIdFolderEdit, destination_.c_str());
    SetDlgItemTextW(Handle(), kIdFolderLabel, FormatText(IDS_DEPLOY_FOLDER_LABEL, product_.c_str()).c_str());
    SetDlgItemTextW(Handle(), kIdSelectFolder, FormatText(IDS_DEPLOY_SELECT_FOLDER, product_.c_str()).c_str());
    return true;
}

bool DeploymentDirectoryPage::OnCommand(int id, int code)
{
    if (id != kIdSelectFolder || code != BN_CLICKED)
        return false;
    BrowseForFolder();
    return true;
}

void DeploymentDirectoryPage::OnSetActive()
{
    SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
}

LRESULT DeploymentDirectoryPage::OnWizardNext()
{
    destination_ = WindowText(Item(kIdFolderEdit));
    return CheckDestination(state_, destination_) ? 0 : -1;
}

// The browse tree starts at the Network folder: a folder chosen there is a network location,
// while a local or mapped path can still be typed.
void DeploymentDirectoryPage::BrowseForFolder()
{
    UniqueItemList network;
    const HRESULT located = SHGetFolderLocation(nullptr, CSIDL_NETWORK, nullptr, 0, network.Receive());
    if (FAILED(located)) {
        LogPrintf(L"::SHGetFolderLocation() failed. %s\r\n", ErrorText(static_cast<DWORD>(located)).c_str());
        return;
    }
    HWND owner = GetForegroundWindow();
    if (!owner)
        owner = GetActiveWindow();
    const std::wstring title = LoadText(IDS_DEPLOY_BROWSE_TITLE);
    const std::wstring current = WindowText(Item(kIdFolderEdit));
    BROWSEINFOW browse = {};
    browse.hwndOwner = owner;
    browse.pidlRoot = network.Get();
    browse.lpszTitle = title.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    browse.lpfn = &BrowseCallback;
    browse.lParam = reinterpret_cast<LPARAM>(current.c_str());
    UniqueItemList chosen(SHBrowseForFolderW(&browse));
    wchar_t path[MAX_PATH] = {};
    if (!chosen || !SHGetPathFromIDListW(chosen.Get(), path))
        return;
    destination_ = path;
    SetDlgItemTextW(Handle(), kIdFolderEdit, path);
}

DeploymentSettinsPage::DeploymentSettinsPage(DeploymentState& state, const std::wstring& product)
    : DeploymentPage(IDD, state, product)
{
    SetHeader(LoadText(IDS_DEPLOY_SETTINGS_TITLE), LoadText(IDS_DEPLOY_SETTINGS_SUBTITLE));
}

bool DeploymentSettinsPage::OnInitDialog()
{
    SetDlgItemTextW(Handle(), kIdCommonFolderGroup, LoadText(IDS_DEPLOY_COMMON_FOLDER).c_str());
    SetDlgItemTextW(Handle(), kIdCommonFolderEdit, commonFolder_.c_str());
    return true;
}

void DeploymentSettinsPage::OnSetActive()
{
    SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
}

LRESULT DeploymentSettinsPage::OnWizardNext()
{
    commonFolder_ = WindowText(Item(kIdCommonFolderEdit));
    state_.CommonFolder = commonFolder_;
    return 0;
}

DeploymentLogPage::DeploymentLogPage(DeploymentState& state, const std::wstring& product)
    : DeploymentPage(IDD, state, product)
{
    SetHeader(LoadText(IDS_DEPLOY_LOG_TITLE), LoadText(IDS_DEPLOY_LOG_SUBTITLE));
}

bool DeploymentLogPage::OnInitDialog()
{
    nextText_ = NextButtonText(Sheet());
    SetDlgItemTextW(Handle(), kIdLogDescription, LoadText(IDS_DEPLOY_LOG_DESCRIPTION).c_str());
    SetDlgItemTextW(Handle(), kIdUploadLabel, LoadText(IDS_DEPLOY_LOG_SHIPPING).c_str());
    choices_ = Item(kIdUploadChoices);
    std::vector<std::wstring> items;
    SplitList(LoadText(IDS_DEPLOY_LOG_CHOICES), L';', true, items);
    for (const std::wstring& item : items)
        SendMessageW(choices_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    SendMessageW(choices_, CB_SETCURSEL, 2, 0);
    return true;
}

void DeploymentLogPage::OnSetActive()
{
    SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
}

void DeploymentLogPage::OnKillActive()
{
    SetDlgItemTextW(Sheet(), kIdWizardNext, nextText_.c_str());
}

LRESULT DeploymentLogPage::OnWizardNext()
{
    state_.UploadChoice = static_cast<int>(SendMessageW(choices_, CB_GETCURSEL, 0, 0));
    return 0;
}

DeploymentReadyPage::DeploymentReadyPage(DeploymentState& state, const std::wstring& product)
    : DeploymentPage(IDD, state, product)
{
    SetHeader(FormatText(IDS_DEPLOY_READY_TITLE, product.c_str()), std::wstring());
}

bool DeploymentReadyPage::OnInitDialog()
{
    nextText_ = NextButtonText(Sheet());
    SetDlgItemTextW(Handle(), kIdReadyText, FormatText(IDS_DEPLOY_READY_TEXT, product_.c_str()).c_str());
    return true;
}

void DeploymentReadyPage::OnSetActive()
{
    SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
    SetDlgItemTextW(Sheet(), kIdWizardNext, LoadText(IDS_BUTTON_DEPLOY).c_str());
}

void DeploymentReadyPage::OnKillActive()
{
    SetDlgItemTextW(Sheet(), kIdWizardNext, nextText_.c_str());
}

DeploymentDeployPage::DeploymentDeployPage(DeploymentState& state, const std::wstring& product)
    : DeploymentPage(IDD, state, product)
{
    SetHeader(FormatText(IDS_DEPLOY_CAPTION, product.c_str()), std::wstring());
}

void DeploymentDeployPage::ShowFile(const std::wstring& path) const
{
    SetWindowTextW(fileLabel_, path.c_str());
}

void DeploymentDeployPage::ShowRollback() const
{
    SetWindowTextW(stateLabel_, LoadText(IDS_DEPLOY_STATE_ROLLBACK).c_str());
    SetWindowTextW(copyLabel_, LoadText(IDS_DEPLOY_DELETE_FILE).c_str());
}

bool DeploymentDeployPage::OnInitDialog()
{
    stateLabel_ = Item(kIdStateLabel);
    copyLabel_ = Item(kIdCopyLabel);
    fileLabel_ = Item(kIdFileLabel);
    progress_ = Item(kIdProgress);
    SetDlgItemTextW(Handle(), kIdPleaseWait, FormatText(IDS_DEPLOY_PLEASE_WAIT, product_.c_str()).c_str());
    SetWindowTextW(stateLabel_, LoadText(IDS_DEPLOY_STATE_COPYING).c_str());
    SetWindowTextW(copyLabel_, LoadText(IDS_DEPLOY_FILE_COPIES).c_str());
    SetWindowTextW(fileLabel_, L"");
    StartDeployment(state_, *this);
    return true;
}

void DeploymentDeployPage::OnSetActive()
{
    SetWizardButtons(kWizardNoButtons);
    // Cancel is the one button left while copying: Esc and Enter reach it.
    FocusSheetButton(IDCANCEL);
}

bool DeploymentDeployPage::OnQueryCancel()
{
    // The worker asks the question before its next file.
    SetEvent(state_.CancelEvent.Get());
    return false;
}

DeploymentCompletePage::DeploymentCompletePage(DeploymentState& state, const std::wstring& product)
    : DeploymentPage(IDD, state, product)
{
    HideHeader();
}

bool DeploymentCompletePage::OnInitDialog()
{
    unsigned header = IDS_DEPLOY_COMPLETED;
    if (state_.Cancelled) {
        LogPrintf(L"Deployment '%s' canceled.\r\n", product_.c_str());
        header = IDS_DEPLOY_CANCELED;
    } else {
        LogPrintf(L"Deployment '%s' completed successfully.\r\n", product_.c_str());
    }
    SetHeaderFont(Handle(), Item(kIdCompleteTitle), headerFont_);
    SetDlgItemTextW(Handle(), kIdCompleteTitle, FormatText(header, product_.c_str()).c_str());
    SetDlgItemTextW(Handle(), kIdCompleteText, LoadText(IDS_DEPLOY_COMPLETE_TEXT).c_str());
    const std::wstring finish = LoadText(IDS_BUTTON_COMPLETE);
    SendMessageW(Sheet(), PSM_SETFINISHTEXTW, 0, reinterpret_cast<LPARAM>(finish.c_str()));
    return true;
}

void DeploymentCompletePage::OnSetActive()
{
    SetWizardButtons(PSWIZB_FINISH);
    EnableWindow(GetDlgItem(Sheet(), IDCANCEL), FALSE);
    FocusSheetButton(kIdWizardFinish);
}

DeploymentPropertySheet::DeploymentPropertySheet(DeploymentState& state, const std::wstring& product)
    : CPropertySheetImpl(kWatermarkBitmap, kHeaderBitmap),
      product_(product),
      welcome_(state, product),
      license_(state, product),
      directory_(state, product),
      settings_(state, product),
      log_(state, product),
      ready_(state, product),
      deploy_(state, product),
      complete_(state, product)
{
    AddPage(welcome_);
    AddPage(license_);
    AddPage(directory_);
    // A publisher whose package reads no common folder or log choice leaves those pages out; the
    // copy's ini then gets what an untouched page gives, and "not upload" for the question nobody saw.
    if (IniReadInt(kMainSection, MainKey::DeploymentSettingsPage, 1) != 0)
        AddPage(settings_);
    if (IniReadInt(kMainSection, MainKey::DeploymentLogPage, 1) != 0)
        AddPage(log_);
    else
        state.UploadChoice = 0;
    AddPage(ready_);
    AddPage(deploy_);
    AddPage(complete_);
    SetCaption(FormatText(IDS_DEPLOY_CAPTION, product.c_str()));
}

bool DeploymentPropertySheet::OnSheetMessage(UINT message, WPARAM, LPARAM, LRESULT& result)
{
    if (message == WM_CLOSE) {
        // One close request is one Cancel: the sheet's own handling of it may ask the page twice.
        SendMessageW(Handle(), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        result = 0;
        return true;
    }
    if (message == WM_SHOWWINDOW) {
        CenterWindowOver(Handle(), GetDesktopWindow());
        SetWindowIcons(Handle(), kSheetIcon, bigIcon_, smallIcon_);
        const std::wstring title = FormatText(IDS_DEPLOY_CAPTION, product_.c_str());
        SendMessageW(Handle(), PSM_SETTITLEW, 0, reinterpret_cast<LPARAM>(title.c_str()));
    }
    return false;
}

void RunDeploymentWizard()
{
    const std::wstring product = DeploymentProductName();
    LogPrintf(L"Start deployment '%s'.\r\n", product.c_str());
    // The licence page's control class; loaded before any page is made.
    UniqueLibrary richEdit = LoadSystemLibrary(L"RICHED20.DLL");
    if (!richEdit) {
        const std::wstring reason = ErrorTextCaptioned(GetLastError());
        ShowDeploymentMessage(Format(L"Не могу загрузить файл '%s'.\n\n%s", L"RICHED20.DLL", reason.c_str()),
                              MB_ICONERROR);
        LogPrintf(L"Can't load file '%s'. %s\r\n", L"RICHED20.DLL", reason.c_str());
        return;
    }
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    DeploymentState& state = GetDeploymentState();
    if (state.CancelEvent) {
        DeploymentPropertySheet sheet(state, product);
        sheet.DoModal(GetActiveWindow());
    } else {
        LogPrintf(L"Can't start deployment. %s\r\n", ErrorText(GetLastError()).c_str());
    }
    FreeDeploymentState();
}
