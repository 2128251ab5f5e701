// Dotted versions (the ini's and the packages'): three texts, one a line (UTF-16LE). A version's
// text reads back as the same version, and the comparison is an order: antisymmetric and
// transitive over the input's versions.
#include <cassert>
#include <cstdint>
#include <vector>

#include "log/version.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::wstring input(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
    std::vector<Version> versions;
    for (size_t start = 0; versions.size() < 3; start = std::min(input.find(L'\n', start), input.size()) + 1)
        versions.push_back(ParseVersion(start < input.size() ? input.substr(start, input.find(L'\n', start) - start) : L""));
    for (const Version& a : versions) {
        assert(CompareVersion(ParseVersion(VersionText(a)), a) == 0);
        for (const Version& b : versions) {
            assert(CompareVersion(a, b) == -CompareVersion(b, a));
            for (const Version& c : versions)
                assert(!(CompareVersion(a, b) <= 0 && CompareVersion(b, c) <= 0) || CompareVersion(a, c) <= 0);
        }
    }
    return 0;
}
