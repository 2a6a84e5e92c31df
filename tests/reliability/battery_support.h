// Helpers shared by the battery's tests: memory with a chosen protection inside the
// service's process, and in-process buffers that end at a page no one may touch.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "core/remote_memory.h"
#include "support/guarded_pages.h"
#include "support/test_files.h"

