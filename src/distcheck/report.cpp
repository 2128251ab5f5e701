#include "distcheck/report.h"

#include <algorithm>

#include "win/format.h"

namespace {

// Values may be whole command lines; the table shows their beginning. No other cell may be wider
// than a line of a terminal (an ini may hold names of any length); the JSON keeps them whole.
constexpr size_t kValueColumn = 40, kCellWidth = 80;

// A cell as a terminal can show it: control characters as \xNN (an escape sequence in an ini
// must not reach the terminal), cut to the width with "..." at its end.
std::wstring Cell(const std::wstring& text, size_t width = kCellWidth)
{
    std::wstring shown;
    for (const wchar_t c : text)
        shown += c < 0x20 || c == 0x7F ? Format(L"\\x%02X", static_cast<unsigned>(c)) : std::wstring(1, c);
    return shown.size() <= width ? shown : shown.substr(0, width - 3) + L"...";
}

// Rows of cells as columns padded to their widest cell; the last column is not padded.
std::wstring Columns(const std::vector<std::vector<std::wstring>>& rows)
{
    std::vector<size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (size_t column = 0; column < row.size(); ++column)
            widths[column] = std::max(widths[column], row[column].size());
    }
    std::wstring text;
    for (const auto& row : rows) {
        for (size_t column = 0; column < row.size(); ++column) {
            text += row[column];
            if (column + 1 < row.size())
                text += std::wstring(widths[column] - row[column].size() + 2, L' ');
        }
        text += L"\r\n";
    }
    return text;
}

std::wstring JsonString(const std::wstring& text)
{
    std::wstring quoted = L"\"";
    for (const wchar_t c : text) {
        if (c == L'"' || c == L'\\')
            quoted += std::wstring(1, L'\\') + c;
        else if (c < 0x20)
            quoted += Format(L"\\u%04x", static_cast<unsigned>(c));
        else
            quoted += c;
    }
    return quoted + L"\"";
}

// "name": value pairs as one object.
std::wstring JsonObject(const std::vector<std::pair<const wchar_t*, std::wstring>>& members)
{
    std::wstring text = L"{";
    for (const auto& member : members)
        text += (text.size() > 1 ? L", " : L"") + JsonString(member.first) + L": " + member.second;
    return text + L"}";
}

unsigned Count(const Report& report, Severity severity)
{
    return static_cast<unsigned>(std::count_if(report.findings.begin(), report.findings.end(),
                                               [severity](const Finding& finding) { return finding.severity == severity; }));
}

const wchar_t* SeverityName(Severity severity)
{
    return severity == Severity::Error ? L"error" : severity == Severity::Warning ? L"warning" : L"note";
}

}  // namespace

int ExitCodeOf(const Report& report)
{
    if (Count(report, Severity::Error) > 0)
        return 2;
    return Count(report, Severity::Warning) > 0 ? 1 : 0;
}

std::wstring ReportTable(const Report& report)
{
    std::wstring text = Format(L"Distribution of %s\r\n\r\n", report.distribution.c_str());
    if (report.findings.empty()) {
        text += L"No findings.\r\n";
    } else {
        std::vector<std::vector<std::wstring>> rows = {{L"SEVERITY", L"SECTION", L"KEY", L"VALUE", L"REASON"}};
        for (const Finding& finding : report.findings) {
            rows.push_back({SeverityName(finding.severity), Cell(finding.section), Cell(finding.key),
                            Cell(finding.value, kValueColumn), Cell(finding.reason, std::wstring::npos)});
        }
        text += Columns(rows);
    }
    text += Format(L"\r\n%u error(s), %u warning(s), %u note(s)\r\n", Count(report, Severity::Error),
                   Count(report, Severity::Warning), Count(report, Severity::Note));
    if (report.dryRun) {
        std::vector<std::vector<std::wstring>> rows = {{L"SECTION", L"NAME", L"VERDICT", L"DECIDED BY"}};
        for (const Detection& detection : report.detection)
            rows.push_back({Cell(detection.section), Cell(detection.name), detection.verdict,
                            Cell(detection.condition, std::wstring::npos)});
        text += L"\r\nDetection on this machine:\r\n" + Columns(rows);
    }
    return text;
}

std::wstring ReportJson(const Report& report)
{
    std::wstring findings;
    for (const Finding& finding : report.findings) {
        findings += (findings.empty() ? L"\r\n    " : L",\r\n    ") +
                    JsonObject({{L"severity", JsonString(SeverityName(finding.severity))},
                                {L"section", JsonString(finding.section)},
                                {L"key", JsonString(finding.key)},
                                {L"value", JsonString(finding.value)},
                                {L"reason", JsonString(finding.reason)}});
    }
    std::vector<std::pair<const wchar_t*, std::wstring>> members = {
        {L"distribution", JsonString(report.distribution)},
        {L"exitCode", Format(L"%d", ExitCodeOf(report))},
        {L"errors", Format(L"%u", Count(report, Severity::Error))},
        {L"warnings", Format(L"%u", Count(report, Severity::Warning))},
        {L"notes", Format(L"%u", Count(report, Severity::Note))},
        {L"findings", L"[" + findings + L"]"},
    };
    if (report.dryRun) {
        std::wstring detections;
        for (const Detection& detection : report.detection) {
            detections += (detections.empty() ? L"\r\n    " : L",\r\n    ") +
                          JsonObject({{L"section", JsonString(detection.section)},
                                      {L"name", JsonString(detection.name)},
                                      {L"verdict", JsonString(detection.verdict)},
                                      {L"condition", JsonString(detection.condition)}});
        }
        members.push_back({L"detection", L"[" + detections + L"]"});
    }
    return JsonObject(members) + L"\r\n";
}
