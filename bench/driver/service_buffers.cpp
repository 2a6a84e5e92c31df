#include "service_buffers.h"

#include "qelapp32/client.h"
#include "support/test_instance.h"

PacketChannel::PacketChannel(TestInstance &instance, WORD printerHandle)
    : instance_(instance), packet_(instance.Process().Process(), QEL_MAX_MESSAGE_LENGTH),
      reply_(instance.Process().Process(), QEL_MAX_MESSAGE_LENGTH), printerHandle_(printerHandle)
{
}

void PacketChannel::Write(const std::string &packet)
{
    packet_.Write(packet);
    instance_.Send(WM_QELAPP32_WRITE, QEL_MAKE_WPARAM(printerHandle_, packet.size()), packet_.Address());
}

std::string PacketChannel::Read()
{
    const LRESULT length = instance_.Send(WM_QELAPP32_READ, QEL_MAX_MESSAGE_LENGTH, reply_.Address());
    return length > 0 && length <= static_cast<LRESULT>(QEL_MAX_MESSAGE_LENGTH)
               ? reply_.Read(static_cast<size_t>(length))
               : std::string();
}

FileSendRequest::FileSendRequest(TestInstance &instance, const std::string &fileName)
    : instance_(instance), name_(instance.Process().Process(), fileName.size() + 1)
{
    name_.Write(fileName + std::string(1, '\0'));
}

bool FileSendRequest::Send()
{
    return name_.IsValid() && instance_.Send(WM_QELAPP32_SENDFILE, 0, name_.Address()) == 1;
}
