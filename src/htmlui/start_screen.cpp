#include "htmlui/start_screen.h"

int ShowStartScreen()
{
    // This build carries no HTML layout host, so the screen is never drawn: the run goes on as an
    // installation, exactly as when htmlayout.dll is absent from the program's folder.
    return kStartInstall;
}
