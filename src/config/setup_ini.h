#pragma once
#include <string>

#include "log/version.h"

// The program's own path: cut at the last "." (cutAtDot) or at the last "\" (otherwise),
// with a trailing "\" when asked. Empty when the path cannot be had.
std::wstring GetModulePath(bool cutAtDot, bool addBackslash);
// The setup ini beside the program: its path with the extension replaced by ".ini".
std::wstring GetIniPath();

// While one lives, reads of the setup ini take the file as the first of them found it: its time
// stamp and size are looked at once instead of at every key. For a run of reads between which
// nothing writes the file, such as the keys of one prerequisite section. Snapshots may nest.
class SetupIniSnapshot {
public:
    SetupIniSnapshot();
    ~SetupIniSnapshot();
    SetupIniSnapshot(const SetupIniSnapshot&) = delete;
    SetupIniSnapshot& operator=(const SetupIniSnapshot&) = delete;
};

// Reads of the setup ini. A missing file or key reads as the default.
int IniReadInt(const wchar_t* section, const wchar_t* key, int defaultValue);
// A null default reads as empty.
std::wstring IniReadString(const wchar_t* section, const wchar_t* key, const wchar_t* defaultValue);
Version IniReadVersion(const wchar_t* section, const wchar_t* key);
// -1 when no line of the section begins with "Optional"; otherwise IniReadInt of the key.
int IniReadOptional(const wchar_t* section, const wchar_t* key, int defaultValue);

// Writes a string into the ini file at path and logs the outcome; on failure also shows
// message 208 when asked. Answers the profile function's result.
int IniWriteStringLogged(const wchar_t* section, const wchar_t* key, const wchar_t* value,
                         const std::wstring& path, bool showFailure);
int IniDeleteSection(const wchar_t* section, const std::wstring& path);

extern const wchar_t kMainSection[];
