// Schedules the replacement of every component of the printer software by its backup at
// the next start of Windows.
#pragma once

// Copies each backup to a ".tmp" beside it and records the rename in wininit.ini's
// [Rename] section; on NT, where wininit.ini is no longer read, the same rename is also
// registered with MoveFileExA. A row whose backup cannot be copied is scheduled not at all,
// and what an earlier run scheduled for it is taken back; only a backup that exists and
// still fails to copy is logged.
void ScheduleComponentReplacement();
