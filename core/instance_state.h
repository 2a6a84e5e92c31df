// The process-wide state of the one printer instance. It lives in globals and is never
// passed around. State that several threads share says so by being std::atomic; the
// rest is written by the main thread before the threads that read it can need it.
#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <cstdint>

#include "tovlib/tov_abi.h"

constexpr size_t kNameBufferSize = 260;
constexpr WORD kUnregisteredAppId = 0xFFFF;

// PrinterPortType: how the printer is connected, 0 until the first classification.
enum PrinterPortType : uint32_t {
    kPortUnknown = 0,
    kPortLocal = 1,
    kPortNetwork = 3,
    kPortUsb = 5,
    kPortLocalNonBidi = 6,
};

// StatusWord bits that the service reads and changes itself.
constexpr uint32_t kStatusAttentionBit = 0x0001;
constexpr uint32_t kStatusErrorBit = 0x0100;

// Command line and identity.
extern const char *g_printerName; // points into the process's command line
extern bool g_checkOnly;          // the /Q switch
extern HINSTANCE g_instance;
extern char g_windowTitle[kNameBufferSize]; // shared by the main and the alert window
extern HWND g_mainWindow;
extern std::atomic<HWND> g_alertWindow;  // set by the alert thread, cleared by teardown
extern std::atomic<WORD> g_appId;        // 0xFFFF until registration
extern std::atomic<DWORD> g_nonBidiMode; // "NON BIDI MODE", read at start-up

// Where the instance is in its life. Client requests are served only while it serves:
// before, the library may not be bound yet; after, it is about to be released.
enum class InstancePhase : uint32_t { Starting, Serving, Ending };
extern std::atomic<InstancePhase> g_instancePhase;

// Worker threads and their events.
extern HANDLE g_alertThread;
extern HANDLE g_writeThread;
extern HANDLE g_statusThread;
extern HANDLE g_alertInitEvent;
extern HANDLE g_writeDataEvent;
extern HANDLE g_getStatusEvent;
extern HANDLE g_gotStatusEvent;
extern HANDLE g_initEvent;
extern HANDLE g_initCancelEvent;
extern HANDLE g_nextJobEvent; // opened by the end-job request, signalled last
extern std::atomic<uint32_t> g_writeStop;
extern std::atomic<uint32_t> g_statusStop;

// The printer's port and handle, found by port discovery on any of three threads.
extern char g_portName[kNameBufferSize];
extern std::atomic<uint32_t> g_portType;
extern std::array<BYTE, kPrinterInfoSize> g_printerInfo; // the last record delivered, as delivered
extern std::atomic<WORD> g_hPrinter;                     // mirrors the record's hPrinter, read whole
extern std::atomic<BYTE> g_printerFlags;                 // mirrors the record's flags byte

// Emulated port status.
extern std::atomic<uint32_t> g_statusWord;
extern std::atomic<uint32_t> g_reEnumerate; // 1 at start: the first refresh enumerates
extern DWORD g_lastRefreshTick;             // main thread only; 0 until the first refresh

// The OutboundQueue's messages: queued by the main thread, carried out by the write
// thread. A document start waits until the two agree (see WaitForQueuedRequests).
extern std::atomic<DWORD> g_outboundQueued;
extern std::atomic<DWORD> g_outboundCarriedOut;

// The file sender.
extern HANDLE g_senderThread;
extern DWORD g_senderThreadId;
extern std::atomic<uint32_t> g_senderCancel;

// Reads hPrinter as the library calls want it.
inline WORD CurrentPrinterHandle()
{
    return g_hPrinter.load();
}
inline WORD CurrentAppId()
{
    return g_appId.load();
}
inline bool IsNonBidiMode()
{
    return g_nonBidiMode.load() != 0;
}
