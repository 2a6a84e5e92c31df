// What start-up does when the printer software is not ready: ask the user to restart.
#pragma once

#include <windows.h>

constexpr char kRestartQuestion[] = "Printing cannot continue because the printer software is not ready.\n"
                                    "Windows must be restarted before documents can be printed.\n\n"
                                    "Do you wish to restart Windows now?";

// Shows the question owned by the main window; on Yes asks Windows to restart.
void OfferWindowsRestart(HWND owner);
