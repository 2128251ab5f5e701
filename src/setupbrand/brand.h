#pragma once
#include <windows.h>

#include <string>
#include <vector>

// A resource type or name: a number, or (when text is not empty) a name.
struct ResourceId {
    WORD number = 0;
    std::wstring text;
    LPCWSTR Get() const { return text.empty() ? MAKEINTRESOURCEW(number) : text.c_str(); }
};

// One resource to write into the branded copy, language neutral as the program's own; empty data
// deletes it.
struct ResourceUpdate {
    ResourceId type;
    ResourceId name;
    std::vector<BYTE> data;
};

// A refusal: what is wrong, in one line for the publisher. Empty when all went well.
using Refusal = std::wstring;

// The version strings a publisher may replace; an empty one keeps what the program has.
struct VersionStrings {
    std::wstring productName, companyName, productVersion, legalCopyright, fileDescription, fileVersion;
};

// The version resource's fields, as Explorer's Details tab shows them ("Field", "value").
using VersionFields = std::vector<std::pair<std::wstring, std::wstring>>;

// The start page of a folder (start.html) and every file its URLs name, as the resources the
// program looks them up by: each file under the name before the URL's last dot and the extension
// as its type (upper case), then the page as resource 101 of type 23 with its byte-order mark.
// Refuses a page that is not UTF-8 or larger than the engine reads, one whose window would not
// fit the work area of a 1366 x 768 screen, a URL with no file, an image the system's imaging
// component cannot read.
Refusal PageResources(const std::wstring& folder, std::vector<ResourceUpdate>& resources);

// The resource among a page's resources that the program serves for one of its URLs, or null.
const ResourceUpdate* ResourceOfPageUrl(const std::vector<ResourceUpdate>& page, const std::wstring& url);

// Deletes the resources that only the input's own page used and the new page does not replace.
void OldPageDeletions(HMODULE input, const std::vector<ResourceUpdate>& page, std::vector<ResourceUpdate>& updates);

// A warning for each thing of the page the engine ignores ("FILE(LINE): warning: what") and for
// a page without a link to install or to cancel ("FILE: warning: ..."). pageFile names the page
// in the lines.
std::vector<std::wstring> PageWarnings(const std::wstring& pageFile, const std::vector<BYTE>& page);

// Shows a page as the start screen does (the same dialog, placed and sized alike), its URLs served
// from its resources; prints the page's size and the road the start screen would take when the
// window closes. Answers false when the engine beside this program cannot be loaded.
bool PreviewPage(const std::vector<ResourceUpdate>& page);

// The icon file (any set of sizes) as the program's icon group 128, the input's icons gone.
Refusal IconUpdates(const std::wstring& icoFile, HMODULE input, std::vector<ResourceUpdate>& updates);

// The input's version resource with the given strings (and the numbers of ProductVersion and
// FileVersion) replaced.
Refusal VersionUpdate(const std::wstring& inputFile, const VersionStrings& strings, std::vector<ResourceUpdate>& updates);

// The version fields of a file, read by the system's version library.
VersionFields ReadVersionFields(const std::wstring& file);

// Clears a file's Authenticode signature (the certificate table and its directory entry):
// resources cannot be rewritten under it. True when the file was signed.
bool StripSignature(const std::wstring& file);
