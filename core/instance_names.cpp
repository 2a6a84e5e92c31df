#include "core/instance_names.h"

#include <cstdio>
#include <cstring>

#include "core/instance_state.h"
#include "qelapp32/client.h"

bool IsPrinterNameUsable(const char *printerName)
{
    return printerName != nullptr && std::strlen(printerName) <= kMaxPrinterNameLength;
}

void FormatInstanceName(char *buffer, const char *format, const char *printerName)
{
    std::snprintf(buffer, kNameBufferSize, format, printerName);
    buffer[kNameBufferSize - 1] = '\0';
}

void BuildWindowTitle(char *buffer, const char *printerName)
{
    FormatInstanceName(buffer, QEL_WINDOW_TITLE_PREFIX "%s", printerName);
}
