// The log's name: whatever the product's name, the part made of it can name a file, and a name
// that can name one is kept as it is.
#include <cassert>
#include <cstdint>

#include "log/setup_log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::wstring name(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
    const std::wstring part = LogFileNamePart(name);
    assert(CanNameLogFile(part) && !part.empty());
    assert(part == kDefaultLogName || (part.size() == name.size() && (part == name || !CanNameLogFile(name))));
    return 0;
}
