// An in-process stand-in for the communication library: installs itself into g_tov,
// records every call (name and arguments, formatted as the simulated library's call log)
// and answers as a healthy printer unless a test says otherwise.
//
//     FakeTov tov;
//     tov.Fail("TovOpen", 0x57);
//     EXPECT_EQ(0, OnOpen());
//     EXPECT_EQ("TovOpen(1, 5, 20)", tov.CallText(0));
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "support/sim_control.h"
#include "tovlib/tov_library.h"

class FakeTov {
public:
    FakeTov();
    ~FakeTov();
    FakeTov(const FakeTov &) = delete;
    FakeTov &operator=(const FakeTov &) = delete;

    static FakeTov &Current();

    void Fail(const std::string &entryPoint, DWORD code);
    DWORD FailureOf(const std::string &entryPoint) const;

    std::vector<SimCall> Calls() const;
    std::vector<SimCall> CallsNamed(const std::string &name) const;
    std::vector<std::string> CallNames() const;
    std::string CallText(size_t index) const; // "TovOpen(1, 5, 20)"
    void ResetCalls();
    void Record(const std::string &name, std::vector<std::string> args);

    // Behaviour of a healthy printer; tests change what they need.
    WORD registerAnswer = 1;
    DWORD pingAnswer = 0;
    WORD hPrinter = 5;
    BYTE printerFlags = 1;
    DWORD enumMask = 0x10;
    int enumRecords = 1;
    std::vector<DWORD> statusSequence; // consumed first, one per query
    DWORD statusState = 0;
    std::string deviceId = "MFG:Qel;MDL:Fake;";
    long deviceIdLengthOverride = -1;
    std::string bidiReply; // empty: echo the request
    long bidiReplyLengthOverride = -1;
    std::string alertData = std::string("\x11\x22\x33", 3);
    DWORD writeMax = 0xFFFFFFFF;
    std::string written; // bytes accepted by TovWrite and TovWriteUNI
    std::map<std::string, std::string> store;
    // Runs inside every call after it was recorded (e.g. to block or to signal a test).
    std::function<void(const std::string &name)> onCall;

    mutable std::recursive_mutex mutex;

private:
    TovApi saved_;
    std::vector<SimCall> calls_;
    std::map<std::string, DWORD> failures_;
};
