#pragma once
#include <cstdint>
#include <string>

// A dotted version of four unsigned 16-bit fields.
struct Version {
    uint16_t major = 0;
    uint16_t minor = 0;
    uint16_t build = 0;
    uint16_t revision = 0;
};

// Up to four "."-separated decimal parts; a part without leading digits is 0, missing parts are 0.
Version ParseVersion(const std::wstring& text);
// -1 when a is lower, 1 when higher, 0 when equal.
int CompareVersion(const Version& a, const Version& b);
std::wstring VersionText(const Version& version);
