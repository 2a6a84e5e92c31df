#include "qelctl_process.h"

#include <algorithm>
#include <memory>

#include "component_sandbox.h"
#include "service_process.h"

namespace {

std::string TempFilePath(const char *prefix)
{
    char folder[MAX_PATH];
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    GetTempFileNameA(folder, prefix, 0, path);
    return path;
}

// qelctl writes its lines in text mode, so they end in CR LF.
std::string WithoutCarriageReturns(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

HANDLE OpenInheritableFile(const std::string &path)
{
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

std::string Quote(const std::string &word)
{
    return "\"" + word + "\"";
}

std::string Describe(const QelctlResult &result)
{
    return "exit " + std::to_string(result.exitCode) + "\nstdout:\n" + result.out + "stderr:\n" + result.err;
}

std::string Bin64Directory()
{
    return BinDirectory() + "\\..\\bin64";
}

std::string QelctlPath()
{
    char path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("QEL_TEST_QELCTL", path, sizeof(path));
    if (length == 0 || length >= sizeof(path))
        return BinDirectory() + "\\qelctl.exe";
    return BinDirectory() + "\\" + std::string(path, length); // relative to the test programs' folder
}

QelctlChild::QelctlChild(const std::string &arguments, const std::vector<char> &environment, const std::string &program)
    : outPath_(TempFilePath("qco")), errPath_(TempFilePath("qce"))
{
    HANDLE out = OpenInheritableFile(outPath_);
    HANDLE err = OpenInheritableFile(errPath_);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    std::string commandLine = Quote(program) + " " + arguments;
    std::vector<char> block = environment;
    PROCESS_INFORMATION info{};
    if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, block.empty() ? nullptr : block.data(),
                       nullptr, &startup, &info)) {
        process_ = info.hProcess;
        CloseHandle(info.hThread);
    }
    CloseHandle(out);
    CloseHandle(err);
}

QelctlChild::~QelctlChild()
{
    if (process_ != nullptr) {
        TerminateProcess(process_, 0xDEAD);
        CloseHandle(process_);
    }
    DeleteFileA(outPath_.c_str());
    DeleteFileA(errPath_.c_str());
}

std::string QelctlChild::OutputSoFar() const
{
    return ReadWholeFile(outPath_);
}

QelctlResult QelctlChild::Wait(DWORD timeoutMs)
{
    QelctlResult result;
    if (process_ == nullptr || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0)
        return result;
    GetExitCodeProcess(process_, &result.exitCode);
    CloseHandle(process_);
    process_ = nullptr;
    result.out = WithoutCarriageReturns(ReadWholeFile(outPath_));
    result.err = WithoutCarriageReturns(ReadWholeFile(errPath_));
    return result;
}

bool QelctlChild::WaitForOutput(const std::string &text, DWORD timeoutMs) const
{
    for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
        if (OutputSoFar().find(text) != std::string::npos)
            return true;
        Sleep(20);
    }
    return false;
}

QelctlResult RunQelctl(const std::string &arguments, const std::vector<char> &environment)
{
    QelctlChild child(arguments, environment);
    return child.Wait();
}

QelctlResult RunClientProgram(const std::string &program, const std::string &arguments)
{
    QelctlChild child(arguments, {}, program);
    return child.Wait();
}

std::vector<QelctlResult> RunQelctlAll(const std::vector<std::string> &arguments)
{
    std::vector<std::unique_ptr<QelctlChild>> children;
    for (const std::string &words : arguments)
        children.push_back(std::make_unique<QelctlChild>(words));
    std::vector<QelctlResult> results;
    for (auto &child : children)
        results.push_back(child->Wait());
    return results;
}
