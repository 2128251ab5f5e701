/* A library for the file checks of the unit tests. Built three ways (tests/CMakeLists.txt):
   with a version resource at 2.1.3.4, without one, and for the other processor (a library this
   program cannot load). It does nothing when loaded. */
#include <windows.h>

__declspec(dllexport) int UnitFixtureValue(void)
{
    return 1;
}
