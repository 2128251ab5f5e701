#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/settings.h"
#include "dialog_script.h"
#include "fake_platform.h"
#include "prereq/prerequisite_dialogs.h"
#include "prereq/prerequisite_flow.h"
#include "prereq/system_checks.h"
#include "prerequisite_test_support.h"
#include "test_support.h"

namespace {

class PrerequisiteDialogTest : public RunTest {
protected:
    void SetUp() override
    {
        RunTest::SetUp();
        g_Settings.UILevel = kUILevelFull;
    }

    // Runs the list dialog over the records with the script; answers its end code.
    INT_PTR ShowList(PrerequisiteList& records, DialogScript& script)
    {
        CMainDlg dialog(records, L"Sample Product", L"Sample Product (1.0) Setup");
        const INT_PTR code = dialog.Show(nullptr);
        EXPECT_FALSE(script.TimedOut());
        rebootRequired = dialog.RebootRequired;
        uninstallMode = dialog.UninstallMode;
        return code;
    }

    int rebootRequired = -1;
    bool uninstallMode = false;
};

// What the list dialog shows.
struct ListView {
    std::wstring caption;
    std::wstring heading;
    std::wstring confirm;
    std::wstring cancel;
    std::vector<std::wstring> rows;
    std::vector<int> images;
    bool hasPictures = false;
    bool notesVisible = false;
    std::wstring notes;
};

ListView Look(HWND dialog)
{
    ListView view;
    view.caption = WindowText(dialog);
    view.heading = ItemText(dialog, kIdHeading);
    view.confirm = ItemText(dialog, IDOK);
    view.cancel = ItemText(dialog, IDCANCEL);
    HWND list = GetDlgItem(dialog, kIdComponentList);
    const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) {
        wchar_t text[256] = {};
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = row;
        item.pszText = text;
        item.cchTextMax = 256;
        SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        view.rows.push_back(text);
        view.images.push_back(item.iImage);
    }
    view.hasPictures = SendMessageW(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0) != 0;
    HWND notes = GetDlgItem(dialog, kIdProgressBox);
    view.notesVisible = IsWindowVisible(notes) != FALSE;
    view.notes = WindowText(notes);
    return view;
}

// Presses the mouse on a row's label, as a person clicks it.
void ClickRow(HWND dialog, int row)
{
    HWND list = GetDlgItem(dialog, kIdComponentList);
    RECT rect = {};
    rect.left = LVIR_LABEL;
    SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2));
}

void TypeInList(HWND dialog, wchar_t character, int selectionMark)
{
    HWND list = GetDlgItem(dialog, kIdComponentList);
    SendMessageW(list, LVM_SETSELECTIONMARK, 0, selectionMark);
    PostMessageW(list, WM_CHAR, character, 0);
}

}  // namespace

TEST_F(PrerequisiteDialogTest, MandatoryComponentsHaveNoBoxesAndCancelEndsWithTwo)
{
    PrerequisiteList records = {Component(L"Runtime A", 2), Component(L"Runtime B", 2)};
    ListView first, afterClick;
    DialogScript script;
    script
        .Then([&](HWND dialog) {
            first = Look(dialog);
            ClickRow(dialog, 0);
            TypeInList(dialog, L' ', 1);
        })
        .Then([&](HWND dialog) {
            afterClick = Look(dialog);
            PostClick(dialog, IDCANCEL);
        });
    EXPECT_EQ(ShowList(records, script), kPrereqCancelled);

    EXPECT_EQ(first.caption, L"Sample Product (1.0) Setup");
    EXPECT_EQ(first.heading, L"Sample Product requires the following components to be installed:");
    EXPECT_EQ(first.confirm, L"&Install");
    EXPECT_EQ(first.cancel, L"&Cancel");
    EXPECT_EQ(first.rows, (std::vector<std::wstring>{L"Runtime A", L"Runtime B"}));
    EXPECT_FALSE(first.hasPictures);
    EXPECT_FALSE(first.notesVisible);
    EXPECT_FALSE(uninstallMode);
    EXPECT_EQ(afterClick.images, first.images);
    EXPECT_EQ(afterClick.confirm, L"&Install");

    // Nothing ran, and the log says the user stopped it.
    EXPECT_EQ(ReadLogText(g_Settings.LogPath), L"Setup.exe [2026.12.04 16:44:05]: Installetion of prerequisites canceled by user.\r\n");
    EXPECT_TRUE(Fake().boxes.empty());
    EXPECT_EQ(rebootRequired, 0);
}

TEST_F(PrerequisiteDialogTest, OptionalRowsToggleByMouseAndBlank)
{
    // One optional component not pre-selected.
    ScratchFolder files;
    PrerequisiteList records = {Component(L"Extra Tools", 1, MarkerCommand(files.File(L"ran.txt")))};
    std::vector<ListView> views;
    DialogScript script;
    script
        .Then([&](HWND dialog) {
            views.push_back(Look(dialog));
            ClickRow(dialog, 0);
        })
        .Then([&](HWND dialog) {
            views.push_back(Look(dialog));
            // Below the last row: no row is hit.
            HWND list = GetDlgItem(dialog, kIdComponentList);
            RECT client;
            GetClientRect(list, &client);
            PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, client.bottom - 3));
        })
        .Then([&](HWND dialog) {
            views.push_back(Look(dialog));
            TypeInList(dialog, L' ', 0);
        })
        .Then([&](HWND dialog) {
            views.push_back(Look(dialog));
            TypeInList(dialog, L'x', 0);
        })
        .Then([&](HWND dialog) {
            views.push_back(Look(dialog));
            PostClick(dialog, IDOK);
        });
    // Confirmed with nothing ticked: nothing runs and nothing is asked.
    EXPECT_EQ(ShowList(records, script), kPrereqGoOn);

    ASSERT_EQ(views.size(), 5u);
    EXPECT_TRUE(views[0].hasPictures);
    EXPECT_EQ(views[0].images, std::vector<int>{kRowUnticked});
    EXPECT_EQ(views[0].confirm, L"Co&ntinue");
    EXPECT_EQ(views[1].images, std::vector<int>{kRowTicked});
    EXPECT_EQ(views[1].confirm, L"&Install");
    EXPECT_EQ(views[2].images, std::vector<int>{kRowTicked});
    // The blank unticks; the button keeps its text until the next click.
    EXPECT_EQ(views[3].images, std::vector<int>{kRowUnticked});
    EXPECT_EQ(views[3].confirm, L"&Install");
    EXPECT_EQ(views[4].images, std::vector<int>{kRowUnticked});

    EXPECT_FALSE(records[0].Selected);
    EXPECT_TRUE(Fake().boxes.empty());
    EXPECT_EQ(ReadLogText(g_Settings.LogPath).find(L"Try install prerequisites"), std::wstring::npos);
    EXPECT_FALSE(FileExists(files.File(L"ran.txt")));
}

TEST_F(PrerequisiteDialogTest, CheckingToolNotesShowUnderTheList)
{
    PrerequisiteList records = {Component(L"Database", 2), Component(L"Engine", 2)};
    records[0].ConditionText = L"Version 9 found.\\nVersion 10 needed. ";
    records[1].ConditionText = L"Up\\qdate\\";
    ListView view;
    DialogScript script;
    script.Then([&](HWND dialog) {
        view = Look(dialog);
        PostClick(dialog, IDCANCEL);
    });
    ShowList(records, script);

    EXPECT_TRUE(view.notesVisible);
    EXPECT_EQ(view.notes, L"Version 9 found.\r\nVersion 10 needed. Update");
}

TEST_F(PrerequisiteDialogTest, ConfirmationRunsTheChosenComponentsAndAsksAboutTheMissingOnes)
{
    ScratchFolder files;
    PrerequisiteList records = {
        Component(L"Copied", 2, CopyVersionedFileCommand(files.File(L"copied.dll")), files.File(L"copied.dll")),
        Component(L"Unticked", 0, MarkerCommand(files.File(L"unticked.txt"))),
        Component(L"Restarts", 2, L"cmd.exe /c exit 3010"),
        Component(L"Fails", 2, L"cmd.exe /c exit 1603"),
    };
    Fake().answers = {IDOK, IDNO};
    DialogScript script;
    script
        .Then([&](HWND dialog) { ClickRow(dialog, 1); })
        .Then([&](HWND dialog) { PostClick(dialog, IDOK); });
    EXPECT_EQ(ShowList(records, script), kPrereqStopped);

    EXPECT_TRUE(records[0].Selected);
    EXPECT_FALSE(records[1].Selected);
    EXPECT_TRUE(records[2].Selected);
    EXPECT_TRUE(records[3].Selected);
    EXPECT_FALSE(FileExists(files.File(L"unticked.txt")));
    EXPECT_EQ(rebootRequired, 1);

    ASSERT_EQ(Fake().boxes.size(), 2u);
    EXPECT_EQ(Fake().boxes[0].text, L"Setup was unable to install\n'cmd.exe /c exit 1603'.");
    EXPECT_EQ(Fake().boxes[0].caption, L"Installation Error");
    EXPECT_EQ(Fake().boxes[0].flags, static_cast<UINT>(MB_ICONERROR));
    EXPECT_NE(Fake().boxes[0].owner, nullptr);
    // The copied component is present now; the other two still fail their checks.
    EXPECT_EQ(Fake().boxes[1].text,
              L"Not installed component(s):\n - 'Restarts'\n - 'Fails'\n\nDo you want to continue product installation?");
    EXPECT_EQ(Fake().boxes[1].caption, L"Sample Product (1.0) Setup");
    EXPECT_EQ(Fake().boxes[1].flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(Fake().boxes[1].owner, Fake().boxes[0].owner);

    ExpectLinesInOrder(ReadLogText(g_Settings.LogPath),
                       {L"Try install prerequisites:\r\n", L"Setup.exe [2026.12.04 16:44:05]:  'Copied'\r\n",
                        L" 'Restarts'\r\n", L" 'Fails'\r\n", L"Install the component 'Copied'.\r\n",
                        L"Install the component 'Restarts'.\r\n", L"Install the component 'Fails'.\r\n",
                        L"]: Setup was unable to install\n'cmd.exe /c exit 1603'.", L"Installed prerequisites:\r\n",
                        L" 'Copied'\r\n", L" 'Restarts'\r\n"});
    EXPECT_EQ(ReadLogText(g_Settings.LogPath).find(L"'Unticked'"), std::wstring::npos);
}

TEST_F(PrerequisiteDialogTest, AnsweringYesGoesOnAndNothingMissingAsksNothing)
{
    ScratchFolder files;
    {
        PrerequisiteList records = {Component(L"Fails", 2, L"cmd.exe /c exit 5")};
        Fake().answers = {IDOK, IDYES};
        DialogScript script;
        script.Then([](HWND dialog) { PostClick(dialog, IDOK); });
        EXPECT_EQ(ShowList(records, script), kPrereqGoOn);
        ASSERT_EQ(Fake().boxes.size(), 2u);
        EXPECT_EQ(Fake().boxes[1].text, L"Not installed component(s):\n - 'Fails'\n\nDo you want to continue product installation?");
    }
    Fake().boxes.clear();
    PrerequisiteList records = {
        Component(L"Copied", 2, CopyVersionedFileCommand(files.File(L"copied.dll")), files.File(L"copied.dll"))};
    DialogScript script;
    script.Then([](HWND dialog) { PostClick(dialog, IDOK); });
    EXPECT_EQ(ShowList(records, script), kPrereqGoOn);
    EXPECT_TRUE(Fake().boxes.empty());
    EXPECT_TRUE(records[0].Installed);
    EXPECT_EQ(rebootRequired, 0);
}

TEST_F(PrerequisiteDialogTest, MissingRightsStopTheRunAndTheReportNamesEverySelectedComponent)
{
    ScratchFolder files;
    Fake().administrator = false;
    PrerequisiteList records = {Component(L"Without Rights", 2, MarkerCommand(files.File(L"first.txt"))),
                                Component(L"Never Tried", 2, MarkerCommand(files.File(L"second.txt")))};
    records[0].AdminNeed = 1;
    Fake().answers = {IDOK, IDYES};
    DialogScript script;
    script.Then([](HWND dialog) { PostClick(dialog, IDOK); });
    EXPECT_EQ(ShowList(records, script), kPrereqGoOn);

    EXPECT_FALSE(FileExists(files.File(L"first.txt")));
    EXPECT_FALSE(FileExists(files.File(L"second.txt")));
    ASSERT_EQ(Fake().boxes.size(), 2u);
    EXPECT_EQ(Fake().boxes[0].text, L"Admin priviledges are required.");
    EXPECT_EQ(Fake().boxes[0].caption, L"Installation Error");
    EXPECT_EQ(Fake().boxes[0].flags, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(Fake().boxes[1].text,
              L"Not installed component(s):\n - 'Without Rights'\n - 'Never Tried'\n\nDo you want to continue product "
              L"installation?");
    const std::wstring log = ReadLogText(g_Settings.LogPath);
    EXPECT_NE(log.find(L"]: Prerequisite 'Without Rights' not installed.\r\nNeed admistrative privilege\r\n"),
              std::wstring::npos);
    EXPECT_EQ(log.find(L"Installed prerequisites"), std::wstring::npos);
}

TEST_F(PrerequisiteDialogTest, DownloadPageNamesTheFileToChooseAndCancelLogsTheComponent)
{
    ScratchFolder files;
    PrerequisiteList records = {
        Component(L"Web Runtime", 2, MarkerCommand(files.File(L"web.txt")), files.File(L"web.dll")),
        Component(L"Packaged", 2, MarkerCommand(files.File(L"packaged.txt")), files.File(L"packaged.dll"))};
    records[0].Url = L"http://downloads.example.invalid/web-runtime";
    records[0].InstPath = files.File(L"webruntime.exe");
    records[0].ChooseDownload = L"webruntime_x64.exe";
    // A package that has a page but lies on the medium is run directly.
    records[1].Url = L"http://downloads.example.invalid/packaged";
    records[1].InstPath = files.File(L"packaged.exe");
    WriteBytes(records[1].InstPath, "MZ");
    std::wstring instructions;
    Fake().answers = {IDNO};
    DialogScript script;
    script.Then([](HWND dialog) { PostClick(dialog, IDOK); })
        .When(CaptionIs(L"Component Download"), [&](HWND dialog) {
            instructions = ItemText(dialog, kIdInstructions);
            PostClick(dialog, IDCANCEL);
        });
    EXPECT_EQ(ShowList(records, script), kPrereqStopped);

    EXPECT_EQ(instructions,
              L"Installation package for component 'Web Runtime' is missing. To install it manually:\n\n- Follow link "
              L"below to download package;\n- Press the button Download;\n- Choose the file 'webruntime_x64.exe';\n- "
              L"Install 'Web Runtime';\n- Press 'Recheck' button to continue installation.");
    EXPECT_FALSE(FileExists(files.File(L"web.txt")));
    EXPECT_TRUE(FileExists(files.File(L"packaged.txt")));
    ExpectLinesInOrder(ReadLogText(g_Settings.LogPath),
                       {L"]: Prerequisite 'Web Runtime' not installed.\r\n", L"Install the component 'Packaged'.\r\n"});
    ASSERT_EQ(Fake().boxes.size(), 1u);
    EXPECT_EQ(Fake().boxes[0].text,
              L"Not installed component(s):\n - 'Web Runtime'\n - 'Packaged'\n\nDo you want to continue product "
              L"installation?");
}
