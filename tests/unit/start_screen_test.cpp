// The start screen's rules: which resource a page's URL names, and what its buttons and links
// answer.
#include <gtest/gtest.h>

#include <cstring>

#include "htmlui/htmlayout_host.h"
#include "htmlui/start_screen.h"

namespace {

TEST(StartScreen, UrlsNameResourcesByBaseNameAndExtension)
{
    const std::wstring longName(300, L'x');
    const struct {
        std::wstring url;
        std::wstring name;
        std::wstring type;
        bool htmlType;
    } cases[] = {
        {L"imgStart.png", L"imgStart", L"png", false},
        {L"btnInstallHover.PNG", L"btnInstallHover", L"PNG", false},
        {L"page.html", L"page", L"", true},
        {L"page.HtMl", L"page", L"", true},
        {L"page.htm", L"page", L"htm", false},
        {L"readme", L"readme", L"", true},
        {L"a.b.gif", L"a.b", L"gif", false},
        {L"x.", L"x", L"", false},
        {longName + L".png", longName.substr(0, 259), L"", true},  // the dot lies past the cut
        {std::wstring(257, L'y') + L".png", std::wstring(257, L'y'), L"p", false},
    };
    for (const auto& c : cases) {
        htmlayout::PageResource resource;
        ASSERT_TRUE(htmlayout::ResourceForUrl(c.url.c_str(), resource)) << c.url;
        EXPECT_EQ(resource.name, c.name) << c.url;
        EXPECT_EQ(resource.type, c.type) << c.url;
        EXPECT_EQ(resource.htmlType, c.htmlType) << c.url;
    }
    htmlayout::PageResource resource;
    EXPECT_FALSE(htmlayout::ResourceForUrl(L"", resource));
    EXPECT_FALSE(htmlayout::ResourceForUrl(nullptr, resource));
}

TEST(StartScreen, PageAndImagesAreProgramResources)
{
    const void* data = nullptr;
    DWORD size = 0;
    ASSERT_TRUE(htmlayout::LoadProgramResource(MAKEINTRESOURCEW(101), MAKEINTRESOURCEW(23), data, size));
    ASSERT_GT(size, 3u);
    EXPECT_EQ(std::memcmp(data, "\xEF\xBB\xBF", 3), 0);
    for (const wchar_t* url : {L"imgStart.png", L"btnInstall.png", L"btnInstallHover.png", L"btnDeployment.png",
                               L"btnDeploymentHover.png", L"btnCancel.png", L"btnCancelHover.png"}) {
        htmlayout::PageResource resource;
        ASSERT_TRUE(htmlayout::ResourceForUrl(url, resource));
        ASSERT_TRUE(htmlayout::LoadProgramResource(resource.name.c_str(), resource.type.c_str(), data, size)) << url;
        EXPECT_EQ(std::memcmp(data, "\x89PNG", 4), 0) << url;
    }
    EXPECT_FALSE(htmlayout::LoadProgramResource(L"imgStart", L"gif", data, size));
}

TEST(StartScreen, NamedButtonsAndLinksGiveTheirResults)
{
    const struct {
        const wchar_t* name;
        int result;
    } buttons[] = {{L"OK", 1},    {L"ok", 1},    {L"Cancel", 2}, {L"ABORT", 3}, {L"retry", 4}, {L"Ignore", 5},
                   {L"yes", 6},   {L"NO", 7},    {L"close", 8},  {L"Help", 9},  {L"OKAY", -1}, {L"", -1},
                   {L"install", -1}, {nullptr, -1}};
    for (const auto& b : buttons)
        EXPECT_EQ(htmlayout::ButtonResult(b.name), b.result) << (b.name ? b.name : L"(null)");
    const struct {
        const wchar_t* href;
        int result;
    } links[] = {{L"install", kStartInstall},       {L"INSTALL", kStartInstall}, {L"Deployment", kStartDeploy},
                 {L"cancel", kStartCancel},         {L"installation", -1},       {L"OK", -1},
                 {L"", -1},                         {nullptr, -1}};
    for (const auto& l : links)
        EXPECT_EQ(StartResultForHref(l.href), l.result) << (l.href ? l.href : L"(null)");
}

}  // namespace
