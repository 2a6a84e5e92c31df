// The printer software's components that start-up checks in the system directory: each
// with its backup and the oldest version the service works with. Data only, with no tie
// to the rest of the service, so that tools which diagnose an installation (qelctl check)
// read the very table the service checks against.
#pragma once

#include <array>

struct ComponentRow {
    const char *component;        // appended to the system directory, separator included
    const char *backup;           // restored from when the component is missing
    bool versioned;               // false: presence is all that is asked
    unsigned short requiredMajor; // the required version is major.minor.0.0
    unsigned short requiredMinor;
};

constexpr std::array<ComponentRow, 6> kComponentTable = {{
    {"\\QRMTOVS.EXE", "\\QRMTOVS.BAK", true, 5, 0},
    {"\\QRMTOV.DLL", "\\QRMTOV.BAK", true, 5, 0},
    {"\\QRMUSB32.DLL", "\\QRMUSB32.BAK", true, 5, 0},
    {"\\QRMLMPM.DLL", "\\QRMLMPM.BAK", true, 96, 5},
    {"\\QRMPPS.EXE", "\\QRMPPS.BAK", false, 0, 0},
    {"\\KORVALIS.EXE", "\\KORVALIS.BAK", false, 0, 0},
}};
