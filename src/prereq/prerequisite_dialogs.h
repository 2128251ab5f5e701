#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "prereq/prerequisite.h"
#include "win/dialog.h"
#include "win/hyperlink.h"

using UniqueImageList = UniqueResource<NullableTraits<HIMAGELIST, &ImageList_Destroy>>;

// Controls of the two dialogs' templates.
constexpr int kIdHeading = 1001;
constexpr int kIdInstructions = 1004;
constexpr int kIdDownloadLink = 1005;
constexpr int kIdComponentList = 10010;
constexpr int kIdProgressBox = 10013;

// Row pictures of the component list when it shows check boxes.
constexpr int kRowUnticked = 0;
constexpr int kRowTicked = 1;
constexpr int kRowNoBox = 2;

// The list of missing components: the user unticks optional ones, confirms (the components are
// installed and checked again) or cancels. Built in every mode; shown only at the full
// user-interface level. Ends with 1 (go on), 0 (a chosen component is still missing and the
// user stops) or 2 (cancelled).
class CMainDlg : public CDialogImpl {
public:
    enum { IDD = 129 };

    CMainDlg(PrerequisiteList& records, std::wstring productName, std::wstring title);

    // Registers the list-view class and runs the dialog; -1 when it could not be made.
    INT_PTR Show(HWND owner);

    PrerequisiteList& Records() { return records_; }
    // Shows the box under the list with the text.
    void ShowProgress(const std::wstring& text);

    int RebootRequired = 0;
    bool UninstallMode = false;

private:
    bool OnInitDialog() override;
    bool OnButton(int id) override;
    bool OnListMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void SetUpCheckImages();
    void FillList();
    int RowImage(int row) const;
    void ToggleRow(int row);
    void UpdateConfirmText();
    void Confirm();
    void Cancel();

    CContainedWindow<CMainDlg> list_;
    UniqueImageList CheckImages;
    PrerequisiteList& records_;
    std::wstring productName_;
    std::wstring title_;
    // While the chosen components run, the buttons are disabled and their commands ignored.
    bool installing_ = false;
};

// Shown when a component's package is not on the medium: how to fetch it by hand, a link to the
// download page, and "Recheck". Ends with 1 when the component is now present (or no longer
// applies), 2 when the user gives up.
class CDownloadDlg : public CDialogImpl {
public:
    enum { IDD = 201 };

    CDownloadDlg(CMainDlg& owner, PrerequisiteInfo& record);

    // Runs the dialog over the list dialog; -1 when it could not be made.
    INT_PTR Show();

private:
    bool OnInitDialog() override;
    bool OnButton(int id) override;

    CMainDlg& owner_;
    PrerequisiteInfo& record_;
    CHyperLink link_;
};
