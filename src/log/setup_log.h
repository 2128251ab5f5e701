#pragma once
#include <string>

class CInstaller;

// Appends text to the UTF-16LE log file at path, beginning a new file with the byte-order mark
// and prefixing the local time when asked. False when the file could not be opened.
bool WriteLog(const std::wstring& path, const std::wstring& text, bool timeStamp);

// While one lives, the log file that the first line opens stays open for the lines after it, so
// that a burst of lines (detection writes one or two per condition) costs one open, not one per
// line. Every line still reaches the file when it is written. Bursts may nest.
class CLogBurst {
public:
    CLogBurst();
    ~CLogBurst();
    CLogBurst(const CLogBurst&) = delete;
    CLogBurst& operator=(const CLogBurst&) = delete;
};

// Writes to the run's log (LogPath); a write without a path goes nowhere.
bool LogLine(const std::wstring& text, bool timeStamp = true);
// printf-style, time-stamped, to LogPath.
void LogPrintf(const wchar_t* format, ...);
// printf-style, time-stamped, to the given file.
void LogFormat(const std::wstring& path, const wchar_t* format, ...);

// True when a file of that name can be created in its folder, or is there already; a file the
// probe made is removed again.
bool ProbeFileName(const std::wstring& path);

// The log file's full path for this run, or empty when no usable name was found. The log always
// lies directly in the temporary folder.
std::wstring ComputeLogPath(CInstaller& installer);
// The characters a file name cannot hold, "?" aside (which the last candidate makes "$").
bool IsForbiddenInFileName(wchar_t c);
// Whether a name can be the log's as it is: none of the characters a file name cannot hold.
bool CanNameLogFile(const std::wstring& name);
// A product name as the log's name holds it when neither it nor the language-neutral name can be
// a file name: "?" becomes "$", the other characters a file name cannot hold (path separators
// among them) "_"; a name left with nothing but blanks, dots and "_" is the program's,
// kDefaultLogName.
std::wstring LogFileNamePart(std::wstring name);
extern const wchar_t kDefaultLogName[];
