// qelctl.exe run as its users run it: a separate process with its output in files (a
// pipe may never close under Wine), judged by that output and its exit code.
//
//     QelctlResult result = RunQelctl(Quote(printer) + " status");
//     EXPECT_EQ(0u, result.exitCode) << Describe(result);
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/service_process.h"

constexpr DWORD kQelctlRunTimeoutMs = 30000;

struct QelctlResult {
    DWORD exitCode = 0xFFFFFFFF; // stays so when qelctl did not end in time
    std::string out;             // without carriage returns
    std::string err;
};

std::string Quote(const std::string &word);
std::string Describe(const QelctlResult &result);

// The 64-bit clients' folder beside this program's own (build/bin64).
std::string Bin64Directory();
// The qelctl the tests run: bin\qelctl.exe, or the one QEL_TEST_QELCTL names (the 64-bit
// run of the qelctl tests).
std::string QelctlPath();

class QelctlChild {
public:
    // environment: an ANSI block for CreateProcessA, or empty for this process's own.
    // program: another client program, run and judged the same way.
    explicit QelctlChild(const std::string &arguments, const std::vector<char> &environment = {},
                         const std::string &program = QelctlPath());
    ~QelctlChild();
    QelctlChild(const QelctlChild &) = delete;
    QelctlChild &operator=(const QelctlChild &) = delete;

    bool Started() const { return process_ != nullptr; }
    std::string OutputSoFar() const;
    QelctlResult Wait(DWORD timeoutMs = kQelctlRunTimeoutMs);
    // Polls the output file: qelctl has no other way to say that it got this far.
    bool WaitForOutput(const std::string &text, DWORD timeoutMs) const;

private:
    std::string outPath_;
    std::string errPath_;
    HANDLE process_ = nullptr;
};

QelctlResult RunQelctl(const std::string &arguments, const std::vector<char> &environment = {});
QelctlResult RunClientProgram(const std::string &program, const std::string &arguments);
// Runs independent invocations side by side; the results come in the same order.
std::vector<QelctlResult> RunQelctlAll(const std::vector<std::string> &arguments);
