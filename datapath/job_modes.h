// The printer's job modes around a job: switched for a job before it starts, switched
// back after it ends. Used by the write thread, the start-document request and the
// file sender.
#pragma once

#include <windows.h>

// Before a job. bidirectional is 1 when the printer is driven bidirectionally, else 0.
// Answers 1 when every library call succeeded, else 0; each failure is logged.
int ResetQELModes(WORD appId, WORD hPrinter, int bidirectional);

// After a job. All three calls are made even when one fails; answers 1 or 0 as above.
int SetQELModes(WORD appId, WORD hPrinter);
