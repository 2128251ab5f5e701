#include "app/settings.h"

SetupSettings g_Settings;
