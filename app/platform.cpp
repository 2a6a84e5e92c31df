#include "app/platform.h"

#include <winnetwk.h>

PlatformApi RealPlatformApi()
{
    PlatformApi api{};
    api.MessageBoxA = &::MessageBoxA;
    api.ExitWindowsEx = &::ExitWindowsEx;
    api.OpenPrinterA = &::OpenPrinterA;
    api.EnumJobsA = &::EnumJobsA;
    api.SetJobA = &::SetJobA;
    api.ClosePrinter = &::ClosePrinter;
    api.WNetGetConnectionA = &::WNetGetConnectionA;
    api.GetSystemDirectoryA = &::GetSystemDirectoryA;
    api.OutputDebugStringA = &::OutputDebugStringA;
    api.Sleep = &::Sleep;
    return api;
}

PlatformApi g_platform = RealPlatformApi();
