#include "prereq/prerequisite_dialogs.h"

#include <windowsx.h>

#include <algorithm>
#include <utility>

#include "log/messages.h"
#include "log/setup_log.h"
#include "prereq/prerequisite_flow.h"
#include "resources/string_ids.h"

namespace {

constexpr int kIconId = 128;

int RowImageOf(const PrerequisiteInfo& record)
{
    switch (record.OptionalState) {
    case 0:
        return kRowTicked;
    case 1:
        return kRowUnticked;
    default:
        return kRowNoBox;
    }
}

// The checking tools write line breaks as the two characters "\n"; any other backslash pair is
// dropped, and a lone backslash at the end ends the text.
std::wstring UnescapeNotes(const std::wstring& notes)
{
    std::wstring text;
    text.reserve(notes.size());
    for (size_t i = 0; i < notes.size(); ++i) {
        if (notes[i] != L'\\') {
            text += notes[i];
            continue;
        }
        if (i + 1 == notes.size())
            break;
        if (notes[++i] == L'n')
            text += L"\r\n";
    }
    return text;
}

LRESULT SendList(HWND list, UINT message, WPARAM wParam, const void* lParam)
{
    return SendMessageW(list, message, wParam, reinterpret_cast<LPARAM>(lParam));
}

}  // namespace

CMainDlg::CMainDlg(PrerequisiteList& records, std::wstring productName, std::wstring title)
    : CDialogImpl(IDD),
      list_(*this, &CMainDlg::OnListMessage),
      records_(records),
      productName_(std::move(productName)),
      title_(std::move(title))
{
}

INT_PTR CMainDlg::Show(HWND owner)
{
    // Registered here rather than at start-up: most runs never show a list.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    return DoModal(owner);
}

void CMainDlg::ShowProgress(const std::wstring& text)
{
    HWND box = Item(kIdProgressBox);
    ShowWindow(box, SW_SHOW);
    SetWindowTextW(box, text.c_str());
}

bool CMainDlg::OnButton(int id)
{
    if (id != IDOK && id != IDCANCEL)
        return false;
    if (installing_)
        return true;
    if (id == IDOK)
        Confirm();
    else
        Cancel();
    return true;
}

bool CMainDlg::OnInitDialog()
{
    CenterWindow(GetWindow(Handle(), GW_OWNER));
    SetIcons(kIconId);
    SetWindowTextW(Handle(), title_.c_str());
    SetDlgItemTextW(Handle(), IDCANCEL, LoadText(IDS_BUTTON_CANCEL).c_str());

    UninstallMode = std::any_of(records_.begin(), records_.end(),
                                [](const PrerequisiteInfo& record) { return record.IsUninstall == 1; });
    const bool somethingToInstall = std::any_of(records_.begin(), records_.end(), [](const PrerequisiteInfo& record) {
        return record.OptionalState == 0 || record.OptionalState == 2;
    });
    const unsigned confirmText = !UninstallMode && somethingToInstall ? IDS_BUTTON_INSTALL : IDS_BUTTON_CONTINUE;
    SetDlgItemTextW(Handle(), IDOK, LoadText(confirmText).c_str());
    SetDlgItemTextW(Handle(), kIdHeading,
                    FormatText(UninstallMode ? IDS_PREREQ_STEPS_HEADING : IDS_PREREQ_HEADING, productName_.c_str())
                        .c_str());

    list_.Subclass(Item(kIdComponentList));
    RECT outer;
    GetWindowRect(list_.Handle(), &outer);
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH;
    column.fmt = LVCFMT_LEFT;
    column.cx = outer.right - outer.left - 4;
    SendList(list_.Handle(), LVM_INSERTCOLUMNW, 0, &column);

    if (std::any_of(records_.begin(), records_.end(),
                    [](const PrerequisiteInfo& record) { return record.OptionalState != 2; }))
        SetUpCheckImages();
    FillList();
    return true;
}

// The check boxes are ordinary row pictures copied from the control's own check-box pictures,
// so that rows without a box (mandatory components) can stand beside them.
void CMainDlg::SetUpCheckImages()
{
    HWND list = list_.Handle();
    const auto style = static_cast<DWORD>(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    if (!(style & LVS_EX_SUBITEMIMAGES)) {
        const DWORD added = LVS_EX_SUBITEMIMAGES | LVS_EX_LABELTIP;
        SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, added, added);
    }
    // The pictures grow with the text: 16 pixels at 96 DPI.
    const HDC screen = GetDC(list);
    const int side = MulDiv(16, GetDeviceCaps(screen, LOGPIXELSY), 96);
    ReleaseDC(list, screen);
    UniqueImageList images(ImageList_Create(side, side, ILC_COLOR16 | ILC_MASK, 1, 0));
    if (!images)
        return;

    auto boxes = reinterpret_cast<HIMAGELIST>(SendMessageW(list, LVM_GETIMAGELIST, LVSIL_STATE, 0));
    // The list shares its image lists (its template says so), so the box pictures it makes for
    // the check-box style are ours to destroy once copied.
    UniqueImageList madeBoxes;
    if (!boxes) {
        SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES, LVS_EX_CHECKBOXES);
        boxes = reinterpret_cast<HIMAGELIST>(SendMessageW(list, LVM_GETIMAGELIST, LVSIL_STATE, 0));
        madeBoxes.Reset(boxes);
    }
    for (int picture : {kRowUnticked, kRowTicked}) {
        UniqueIcon icon(ImageList_GetIcon(boxes, picture, ILD_NORMAL));
        ImageList_ReplaceIcon(images.Get(), -1, icon.Get());
    }
    if (madeBoxes) {
        SendMessageW(list, LVM_SETIMAGELIST, LVSIL_STATE, 0);
        SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES, 0);
    }
    SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images.Get()));
    CheckImages = std::move(images);
}

void CMainDlg::FillList()
{
    HWND list = list_.Handle();
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    std::wstring notes;
    for (size_t i = 0; i < records_.size(); ++i) {
        const PrerequisiteInfo& record = records_[i];
        std::wstring text = record.Name;
        if (UninstallMode)
            text = LoadText(record.IsUninstall == 0 ? IDS_PREFIX_INSTALL : IDS_PREFIX_UNINSTALL) + record.Name;
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = static_cast<int>(i);
        item.pszText = &text[0];
        item.iImage = RowImageOf(record);
        SendList(list, LVM_INSERTITEMW, 0, &item);
        notes += record.ConditionText;
    }
    notes = UnescapeNotes(notes);
    HWND box = Item(kIdProgressBox);
    ShowWindow(box, notes.empty() ? SW_HIDE : SW_SHOW);
    SetWindowTextW(box, notes.c_str());
}

int CMainDlg::RowImage(int row) const
{
    LVITEMW item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    if (!SendList(list_.Handle(), LVM_GETITEMW, 0, &item))
        return kRowNoBox;
    return item.iImage;
}

void CMainDlg::ToggleRow(int row)
{
    const int image = RowImage(row);
    if (image != kRowUnticked && image != kRowTicked)
        return;
    LVITEMW item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    item.iImage = image == kRowUnticked ? kRowTicked : kRowUnticked;
    SendList(list_.Handle(), LVM_SETITEMW, 0, &item);
}

void CMainDlg::UpdateConfirmText()
{
    const int rows = static_cast<int>(SendMessageW(list_.Handle(), LVM_GETITEMCOUNT, 0, 0));
    bool somethingToInstall = false;
    for (int row = 0; row < rows && !somethingToInstall; ++row)
        somethingToInstall = RowImage(row) != kRowUnticked;
    SetDlgItemTextW(Handle(), IDOK, LoadText(somethingToInstall ? IDS_BUTTON_INSTALL : IDS_BUTTON_CONTINUE).c_str());
}

// Clicks and typing choose rows here; the list itself never sees them, so it neither selects a
// row by mouse nor searches by typed letters.
bool CMainDlg::OnListMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (message == WM_LBUTTONDOWN) {
        if (CheckImages) {
            LVHITTESTINFO hit = {};
            hit.pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            const auto row = static_cast<int>(SendList(list_.Handle(), LVM_HITTEST, 0, &hit));
            if (row >= 0 && (hit.flags & (LVHT_ONITEMICON | LVHT_ONITEMLABEL | LVHT_ONITEMSTATEICON)))
                ToggleRow(row);
            if (!UninstallMode)
                UpdateConfirmText();
        }
        result = 0;
        return true;
    }
    if (message == WM_CHAR) {
        if (CheckImages && wParam == L' ') {
            const auto row = static_cast<int>(SendMessageW(list_.Handle(), LVM_GETSELECTIONMARK, 0, 0));
            if (row >= 0)
                ToggleRow(row);
        }
        result = 0;
        return true;
    }
    return false;
}

void CMainDlg::Confirm()
{
    for (size_t i = 0; i < records_.size(); ++i)
        records_[i].Selected = !CheckImages || RowImage(static_cast<int>(i)) != kRowUnticked;

    installing_ = true;
    EnableWindow(Item(IDOK), FALSE);
    EnableWindow(Item(IDCANCEL), FALSE);
    InstallPrerequisites(*this, false);
    EnableWindow(Item(IDOK), TRUE);
    EnableWindow(Item(IDCANCEL), TRUE);
    installing_ = false;
    SetDlgItemTextW(Handle(), kIdProgressBox, L"");

    std::wstring report = LoadText(IDS_MISSING_COMPONENTS_HEADER);
    bool missing = false;
    const CLogBurst burst;
    for (PrerequisiteInfo& record : records_) {
        CheckPrerequisite(record);
        if (!record.Installed && record.IsUninstall == 0 && record.Selected) {
            report += FormatText(IDS_MISSING_COMPONENT_ITEM, record.Name.c_str());
            missing = true;
        }
    }
    report += LoadText(IDS_CONTINUE_INSTALL_QUESTION);
    INT_PTR code = kPrereqGoOn;
    if (missing && ShowAlways(Handle(), report, title_, MB_YESNO | MB_ICONQUESTION) == IDNO)
        code = kPrereqStopped;
    EndDialog(code);
}

void CMainDlg::Cancel()
{
    LogLine(L"Installetion of prerequisites canceled by user.\r\n");
    EndDialog(kPrereqCancelled);
}

CDownloadDlg::CDownloadDlg(CMainDlg& owner, PrerequisiteInfo& record)
    : CDialogImpl(IDD), owner_(owner), record_(record)
{
}

INT_PTR CDownloadDlg::Show()
{
    return DoModal(owner_.Handle());
}

bool CDownloadDlg::OnButton(int id)
{
    if (id == IDOK) {
        // Still missing: the dialog stays; the checks have logged why.
        if (!CheckPrerequisite(record_))
            EndDialog(1);
        return true;
    }
    if (id == IDCANCEL) {
        EndDialog(2);
        return true;
    }
    return false;
}

bool CDownloadDlg::OnInitDialog()
{
    CenterWindow(owner_.Handle());
    link_.Subclass(Item(kIdDownloadLink));
    SetIcons(kIconId);
    SetWindowTextW(Handle(), LoadText(IDS_DOWNLOAD_CAPTION).c_str());
    SetDlgItemTextW(Handle(), IDOK, LoadText(IDS_BUTTON_RECHECK).c_str());
    SetDlgItemTextW(Handle(), IDCANCEL, LoadText(IDS_BUTTON_CANCEL).c_str());
    const wchar_t* name = record_.Name.c_str();
    const std::wstring instructions =
        record_.ChooseDownload.empty()
            ? FormatText(IDS_DOWNLOAD_INSTRUCTIONS, name, name)
            : FormatText(IDS_DOWNLOAD_INSTRUCTIONS_CHOOSE, name, record_.ChooseDownload.c_str(), name);
    SetDlgItemTextW(Handle(), kIdInstructions, instructions.c_str());
    link_.SetExtendedStyle(kHyperLinkUnderlineHover | kHyperLinkNoTooltip);
    link_.SetLabel(FormatText(IDS_DOWNLOAD_LINK, name));
    link_.SetHyperLink(record_.Url);
    return true;
}
