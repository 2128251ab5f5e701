#pragma once
#include <string>

// A "major.minor" value of the setup ini: parts cut at ".", white space around them and empty
// parts dropped, each remaining part decimal digits only; further parts are ignored and a bare
// major number means minor 0. False for any other text, for a value without a number and for a
// number beyond 32 bits.
bool ParseWindowsVersion(const std::wstring& value, unsigned& major, unsigned& minor);

// Checks the ini's MinWinVersion / MinWinServicePack against the running Windows. False when
// Windows falls short or a value is invalid, after logging and showing why.
bool CheckWinVersion();

// "'Windows XP' (Serviсe Pack 2)": the name of the version, or its numbers, and the service
// pack when its major number is not 0.
std::wstring WindowsVersionText(unsigned major, unsigned minor, unsigned servicePackMajor,
                                unsigned servicePackMinor);
