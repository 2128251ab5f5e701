// The start page as the start screen shows it, before any setup.exe carries it: the same engine
// (htmlayout.dll beside this program), the same dialog and links, the page's URLs served from
// the resources a branded copy would hold.
#include "setupbrand/brand.h"

#include "htmlui/start_screen.h"
#include "win/format.h"
#include "win/handles.h"
#include "win/text.h"

namespace {

// The start screen's dialog, fed from the page's files instead of the program's resources, which
// remembers the link that closed it.
class PreviewDlg : public StartDlg {
public:
    explicit PreviewDlg(const std::vector<ResourceUpdate>& page) : page_(page) {}
    // The href of the link that closed the window, when one did.
    const std::wstring& link() const { return link_; }

protected:
    // The page is loaded and the window placed and sized by the time the dialog exists.
    HWND Create() override
    {
        if (!StartDlg::Create())
            return nullptr;
        // The window's client area takes this size, unless the screen's work area cuts it.
        const int width = static_cast<int>(HTMLayoutGetMinWidth(window_));
        const int height = static_cast<int>(HTMLayoutGetMinHeight(window_, width));
        UniqueMemoryDC screen(CreateICW(L"DISPLAY", nullptr, nullptr, nullptr));
        const int dpi = screen ? GetDeviceCaps(screen.Get(), LOGPIXELSX) : 96;
        WriteStandard(STD_OUTPUT_HANDLE, Format(L"setupbrand: the page is %d x %d pixels at %d DPI (%d x %d CSS pixels)\r\n",
                                                width, height, dpi, MulDiv(width, 96, dpi), MulDiv(height, 96, dpi)));
        return window_;
    }

    bool OnBehaviorEvent(HELEMENT element, HlBehaviorRecord& record) override
    {
        const wchar_t* href = htmlayout::dom::element(record.target).attribute("href");
        if (record.cmd == HL_HYPERLINK_CLICK && href)
            link_ = href;
        return StartDlg::OnBehaviorEvent(element, record);
    }

    LRESULT OnLoadData(HlLoadDataRecord& record) override
    {
        if (const ResourceUpdate* resource = record.uri ? ResourceOfPageUrl(page_, record.uri) : nullptr)
            HTMLayoutDataReady(record.header.hwndFrom, record.uri, const_cast<BYTE*>(resource->data.data()),
                               static_cast<DWORD>(resource->data.size()));
        return 0;
    }

private:
    const std::vector<ResourceUpdate>& page_;
    std::wstring link_;
};

// What the setup does with the start screen's result.
const wchar_t* Road(int result)
{
    switch (result) {
    case kStartInstall:
        return L"the setup would install, as with /i";
    case kStartDeploy:
        return L"the setup would open the network deployment wizard";
    case kStartCancel:
        return L"the setup would end with exit code 2, nothing installed";
    default:
        return L"the setup would end with exit code 3 (a button named OK, YES... is a refusal)";
    }
}

}  // namespace

bool PreviewPage(const std::vector<ResourceUpdate>& page)
{
    // As setup.exe's manifest does: drawn at the screen's DPI, not stretched by the system.
    SetProcessDPIAware();
    if (!IsHtmlLayoutAvailable())
        return false;
    PreviewDlg dialog(page);
    const int result = dialog.RunModal(page.back().data.data(), static_cast<UINT>(page.back().data.size()));
    const std::wstring closedBy = dialog.link().empty() ? L"the window was closed" : L"link \"" + dialog.link() + L"\"";
    WriteStandard(STD_OUTPUT_HANDLE, L"setupbrand: " + closedBy + L": " + Road(result) + L"\r\n");
    return true;
}
