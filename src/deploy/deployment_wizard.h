#pragma once
#include <windows.h>

#include <string>

#include "deploy/deployment_state.h"
#include "win/property_sheet.h"

// Runs the deployment wizard for the run's product and returns once it has closed, whatever
// happened in it. Shows nothing but a message when the rich-edit library cannot be loaded.
void RunDeploymentWizard();

// The cancel question of the pages before the copy: on Yes the run is cancelled and the sheet
// shows its last page, the Complete page. The sheet itself never closes by Cancel.
void QueryCancelDeployment(HWND sheet, DeploymentState& state);

// What every page of the wizard knows: the run's record and the product's name.
class DeploymentPage : public CPropertyPageImpl {
protected:
    DeploymentPage(int templateId, DeploymentState& state, const std::wstring& product)
        : CPropertyPageImpl(templateId), state_(state), product_(product)
    {
    }
    // The pages before the copy ask the cancel question and never let the sheet close.
    bool OnQueryCancel() override;

    DeploymentState& state_;
    std::wstring product_;
};

class DeploymentWelcomePage : public DeploymentPage {
public:
    enum { IDD = 215 };
    DeploymentWelcomePage(DeploymentState& state, const std::wstring& product);

private:
    bool OnInitDialog() override;
    void OnSetActive() override;

    UniqueFont headerFont_;
};

class DeploymentLicensePage : public DeploymentPage {
public:
    enum { IDD = 223 };
    DeploymentLicensePage(DeploymentState& state, const std::wstring& product);

    bool LicenseAccepted = false;
    bool LicenseLoadFailed = false;

private:
    bool OnInitDialog() override;
    bool OnCommand(int id, int code) override;
    void OnSetActive() override;
    bool OnQueryCancel() override;
    void PostButtons() const;

    HWND richEdit_ = nullptr;
};

class DeploymentDirectoryPage : public DeploymentPage {
public:
    enum { IDD = 221 };
    DeploymentDirectoryPage(DeploymentState& state, const std::wstring& product);

private:
    bool OnInitDialog() override;
    bool OnCommand(int id, int code) override;
    void OnSetActive() override;
    LRESULT OnWizardNext() override;
    void BrowseForFolder();

    std::wstring destination_;
};

class DeploymentSettinsPage : public DeploymentPage {
public:
    enum { IDD = 219 };
    DeploymentSettinsPage(DeploymentState& state, const std::wstring& product);

private:
    bool OnInitDialog() override;
    void OnSetActive() override;
    LRESULT OnWizardNext() override;

    std::wstring commonFolder_;
};

class DeploymentLogPage : public DeploymentPage {
public:
    enum { IDD = 225 };
    DeploymentLogPage(DeploymentState& state, const std::wstring& product);

private:
    bool OnInitDialog() override;
    void OnSetActive() override;
    void OnKillActive() override;
    LRESULT OnWizardNext() override;

    std::wstring nextText_;
    HWND choices_ = nullptr;
};

class DeploymentReadyPage : public DeploymentPage {
public:
    enum { IDD = 220 };
    DeploymentReadyPage(DeploymentState& state, const std::wstring& product);

private:
    bool OnInitDialog() override;
    void OnSetActive() override;
    void OnKillActive() override;

    std::wstring nextText_;
};

// Shows the copy's progress. The worker thread updates it through the methods below, which
// send their messages to the page's controls.
class DeploymentDeployPage : public DeploymentPage {
public:
    enum { IDD = 224 };
    DeploymentDeployPage(DeploymentState& state, const std::wstring& product);

    void ShowFile(const std::wstring& path) const;
    // The labels of the rollback: "State: rollback", "Delete file:".
    void ShowRollback() const;
    HWND ProgressBar() const { return progress_; }

private:
    bool OnInitDialog() override;
    void OnSetActive() override;
    bool OnQueryCancel() override;

    HWND stateLabel_ = nullptr;
    HWND copyLabel_ = nullptr;
    HWND fileLabel_ = nullptr;
    HWND progress_ = nullptr;
};

class DeploymentCompletePage : public DeploymentPage {
public:
    enum { IDD = 216 };
    DeploymentCompletePage(DeploymentState& state, const std::wstring& product);

private:
    bool OnInitDialog() override;
    void OnSetActive() override;
    bool OnQueryCancel() override { return true; }

    UniqueFont headerFont_;
};

class DeploymentPropertySheet : public CPropertySheetImpl<DeploymentPropertySheet> {
public:
    DeploymentPropertySheet(DeploymentState& state, const std::wstring& product);

    // Centres the sheet, gives it its icons and its title whenever it is shown or hidden; a
    // close request is one press of Cancel.
    bool OnSheetMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    std::wstring product_;
    DeploymentWelcomePage welcome_;
    DeploymentLicensePage license_;
    DeploymentDirectoryPage directory_;
    DeploymentSettinsPage settings_;
    DeploymentLogPage log_;
    DeploymentReadyPage ready_;
    DeploymentDeployPage deploy_;
    DeploymentCompletePage complete_;
    UniqueIcon bigIcon_;
    UniqueIcon smallIcon_;
};
