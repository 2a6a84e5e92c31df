#include "battery_support.h"

#include <cstring>

