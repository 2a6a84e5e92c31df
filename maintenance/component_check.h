// The start-up check of the printer software's component files in the system directory.
#pragma once

// 1 when every component is present (or restored) and recent enough; 0 when the system
// directory cannot be read or a component is outdated (its replacement is then scheduled).
int CheckComponents();
