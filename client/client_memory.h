// Clients pass addresses in lParam that the service uses in its own process. A wrong
// address must cost the client its answer, never the instance its life: every range is
// checked before it is touched, without provoking an access violation.
#pragma once

#include <windows.h>

bool IsClientRangeReadable(const void *address, size_t size);
bool IsClientRangeWritable(void *address, size_t size);
