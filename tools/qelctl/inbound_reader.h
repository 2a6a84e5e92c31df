// Takes messages out of the instance's inbound stream (1126): printer replies and
// alert packets, oldest first, through the client library.
//
//     InboundReader reader(context, instance, QEL_MAX_MESSAGE_LENGTH);
//     std::string message;
//     if (const int code = reader.Take(&message)) return code;
#pragma once

#include <windows.h>

#include <string>

#include "command_support.h"

class InboundReader {
public:
    InboundReader(CommandContext &context, const Instance &instance, DWORD bufferSize);

    // Sends 1126 once; *message is left empty when nothing was waiting.
    int Take(std::string *message);
    // Polls every intervalMs until a message arrives, timeoutMs passes or Ctrl+C is
    // pressed; *message stays empty unless one arrived.
    int WaitForMessage(DWORD timeoutMs, DWORD intervalMs, std::string *message);

private:
    CommandContext &context_;
    const Instance &instance_;
    DWORD bufferSize_;
};

// Prints a message taken from the stream: its bytes, frame and meaning; adds it to
// the JSON fields under "message".
void ReportMessage(Output &out, const std::string &message);
