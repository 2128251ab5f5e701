// The markup parser: bytes to a document.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "dom.h"

namespace hl {

// UTF-16LE with its byte-order mark, else UTF-8 (with or without one); bytes that are not UTF-8
// are read in the system's ANSI code page.
std::wstring DecodePage(const BYTE* data, size_t size);

// Never fails: whatever the text, the answer is a document whose root is an "html" element.
// Style sheets of <style> elements are parsed in document order; the document's URL list holds
// the style rules' url() values, the img sources and their srcset candidates, each resolved
// against baseUrl, once each.
std::unique_ptr<Document> ParseHtml(const std::wstring& text, const std::wstring& baseUrl);

}  // namespace hl
