// The spine of the process: start-up in its fixed order, the main loop, shutdown.
#pragma once

#include <windows.h>

int RunQelApp(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);
