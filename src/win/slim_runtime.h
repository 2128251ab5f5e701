// Force-included into the program's sources. The standard library ships ready-made copies of
// every std::basic_string member and links them whole; without these extern declarations the
// compiler instantiates only the members the program uses, which keeps setup.exe small.
#pragma once
#ifdef __cplusplus
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1
#endif
