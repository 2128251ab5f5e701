#include "log/version.h"

#include "win/format.h"

Version ParseVersion(const std::wstring& text)
{
    uint16_t parts[4] = {};
    size_t position = 0;
    for (int index = 0; index < 4 && position <= text.size(); ++index) {
        uint32_t value = 0;
        while (position < text.size() && text[position] >= L'0' && text[position] <= L'9') {
            value = value * 10 + static_cast<uint32_t>(text[position] - L'0');
            ++position;
        }
        parts[index] = static_cast<uint16_t>(value);
        position = text.find(L'.', position);
        if (position == std::wstring::npos)
            break;
        ++position;
    }
    return Version{parts[0], parts[1], parts[2], parts[3]};
}

int CompareVersion(const Version& a, const Version& b)
{
    const uint16_t left[4] = {a.major, a.minor, a.build, a.revision};
    const uint16_t right[4] = {b.major, b.minor, b.build, b.revision};
    for (int index = 0; index < 4; ++index) {
        if (left[index] != right[index])
            return left[index] < right[index] ? -1 : 1;
    }
    return 0;
}

std::wstring VersionText(const Version& version)
{
    return Format(L"%d.%d.%d.%d", version.major, version.minor, version.build, version.revision);
}
