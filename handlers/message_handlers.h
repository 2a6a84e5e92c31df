// One handler per client message of the main window; each answers the message's result.
#pragma once

#include <windows.h>

LRESULT OnDestroy();                                        // WM_DESTROY
LRESULT OnPowerBroadcast(WPARAM powerEvent);                // WM_POWERBROADCAST
LRESULT OnEnumPrinter();                                    // 1124
LRESULT OnEndJob(WPARAM appId, LPARAM printerHandleHigh);   // 1125
LRESULT OnRead(WPARAM bufferSize, LPARAM buffer);           // 1126
LRESULT OnWrite(WPARAM handleAndLength, LPARAM data);       // 1127
LRESULT OnGetStatus(LPARAM refreshMode);                    // 1128
LRESULT OnGetDeviceId(WPARAM handleAndSize, LPARAM buffer); // 1129
LRESULT OnStartDoc(WPARAM printerHandleHigh);               // 1130
LRESULT OnEndDoc(WPARAM printerHandleHigh);                 // 1131
LRESULT OnOpen();                                           // 1132
LRESULT OnClose();                                          // 1133
LRESULT OnSendFile(UINT message, LPARAM fileName);          // 1134 and 1141
LRESULT OnPing();                                           // 1135
LRESULT OnCaptureAlerts();                                  // 1136
LRESULT OnNoop();                                           // 1137
LRESULT OnStoreData();                                      // 1139
LRESULT OnRetrieveData();                                   // 1140
