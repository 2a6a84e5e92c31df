#include <windows.h>

#include "app/lifecycle.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand)
{
    return RunQelApp(instance, previousInstance, commandLine, showCommand);
}
