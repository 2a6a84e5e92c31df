#include "core/instance_state.h"

const char *g_printerName = nullptr;
bool g_checkOnly = false;
HINSTANCE g_instance = nullptr;
char g_windowTitle[kNameBufferSize] = {};
HWND g_mainWindow = nullptr;
std::atomic<HWND> g_alertWindow{nullptr};
std::atomic<WORD> g_appId{kUnregisteredAppId};
std::atomic<DWORD> g_nonBidiMode{0};

std::atomic<InstancePhase> g_instancePhase{InstancePhase::Starting};

HANDLE g_alertThread = nullptr;
HANDLE g_writeThread = nullptr;
HANDLE g_statusThread = nullptr;
HANDLE g_alertInitEvent = nullptr;
HANDLE g_writeDataEvent = nullptr;
HANDLE g_getStatusEvent = nullptr;
HANDLE g_gotStatusEvent = nullptr;
HANDLE g_initEvent = nullptr;
HANDLE g_initCancelEvent = nullptr;
HANDLE g_nextJobEvent = nullptr;
std::atomic<uint32_t> g_writeStop{0};
std::atomic<uint32_t> g_statusStop{0};

char g_portName[kNameBufferSize] = {};
std::atomic<uint32_t> g_portType{kPortUnknown};
std::array<BYTE, kPrinterInfoSize> g_printerInfo = {};
std::atomic<WORD> g_hPrinter{0};
std::atomic<BYTE> g_printerFlags{0};

std::atomic<uint32_t> g_statusWord{0};
std::atomic<uint32_t> g_reEnumerate{1};
DWORD g_lastRefreshTick = 0;

std::atomic<DWORD> g_outboundQueued{0};
std::atomic<DWORD> g_outboundCarriedOut{0};

HANDLE g_senderThread = nullptr;
DWORD g_senderThreadId = 0;
std::atomic<uint32_t> g_senderCancel{0};
