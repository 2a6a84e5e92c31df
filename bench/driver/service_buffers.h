// The requests whose lParam is an address in the service's own process: the one place
// where the benchmark places buffers there (core/remote_memory.h), so that it can move to
// the client library as a whole.
#pragma once

#include <windows.h>

#include <string>

#include "core/remote_memory.h"

class TestInstance;

// 1127 and 1126 for one printer of the instance, through buffers placed in its process.
class PacketChannel {
public:
    PacketChannel(TestInstance &instance, WORD printerHandle);

    bool IsValid() const { return packet_.IsValid() && reply_.IsValid(); }
    // 1127 with the packet (at most QEL_MAX_MESSAGE_LENGTH bytes).
    void Write(const std::string &packet);
    // 1126: the oldest packet of the inbound stream, "" when it is empty.
    std::string Read();

private:
    TestInstance &instance_;
    RemoteMemory packet_;
    RemoteMemory reply_;
    WORD printerHandle_;
};

// 1134 for a file in the system directory; the name stays placed for the sends.
class FileSendRequest {
public:
    FileSendRequest(TestInstance &instance, const std::string &fileName);
    // True when the service answered that it started the sender.
    bool Send();

private:
    TestInstance &instance_;
    RemoteMemory name_;
};
