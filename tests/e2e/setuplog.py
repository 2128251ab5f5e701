"""Reading a setup log: UTF-16LE with a byte-order mark, written line by line by setup.exe.

The Windows Installer appends its own log to the same file. Wine's msi.dll does not append: it
writes its (ANSI) log from the start of the file over the lines before it, and setup.exe's later
lines follow in UTF-16. decode() gives the text of either kind of file.
"""
import re

BOM = b"\xff\xfe"
STAMP = re.compile(r"Setup\.exe \[\d{4}\.\d\d\.\d\d \d\d:\d\d:\d\d\]: ")
_UTF16_STAMP = "Setup.exe [".encode("utf-16-le")


def overwritten_by_engine(data: bytes) -> bool:
    """True when the engine's ANSI log stands where the byte-order mark and first lines were."""
    return not data.startswith(BOM)


def decode(data: bytes) -> str:
    if data.startswith(BOM):
        return data[2:].decode("utf-16-le", errors="replace")
    # Engine text first, then the launcher's own UTF-16 lines (possibly at an odd offset).
    start = data.find(_UTF16_STAMP)
    if start < 0:
        return data.decode("cp1252", errors="replace")
    return data[:start].decode("cp1252", errors="replace") + data[start:].decode(
        "utf-16-le", errors="replace")


def own_lines(text: str) -> list:
    """The launcher's time-stamped lines, stamp removed, in order."""
    return [STAMP.sub("", line, count=1) for line in text.split("\r\n") if STAMP.match(line)]
