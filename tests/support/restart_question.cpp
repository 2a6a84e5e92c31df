#include "restart_question.h"

namespace {

struct WindowSearch {
    DWORD processId;
    const char *className;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    auto *search = reinterpret_cast<WindowSearch *>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[64] = {};
    GetClassNameA(window, className, sizeof(className));
    if (owner == search->processId && std::string(className) == search->className) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectTexts(HWND window, LPARAM parameter)
{
    char text[512] = {};
    GetWindowTextA(window, text, sizeof(text));
    reinterpret_cast<std::vector<std::string> *>(parameter)->push_back(text);
    return TRUE;
}

} // namespace

HWND FindWindowOfProcess(DWORD processId, const char *className)
{
    WindowSearch search{processId, className, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForRestartQuestion(DWORD processId)
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        const HWND dialog = FindWindowOfProcess(processId, "#32770"); // the dialog class of a message box
        // The box is shown only once its text and buttons exist.
        if (dialog != nullptr && IsWindowVisible(dialog) && GetDlgItem(dialog, IDNO) != nullptr)
            return dialog;
        Sleep(50);
    }
    return nullptr;
}

std::vector<std::string> DialogTexts(HWND dialog)
{
    std::vector<std::string> texts;
    EnumChildWindows(dialog, CollectTexts, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

void AnswerRestartQuestion(HWND dialog, int button)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}
