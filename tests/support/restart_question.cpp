#include "restart_question.h"

namespace {

struct FoundDialog {
    DWORD processId;
    HWND dialog;
};

BOOL CALLBACK FindProcessDialog(HWND window, LPARAM parameter)
{
    auto *found = reinterpret_cast<FoundDialog *>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[32] = {};
    GetClassNameA(window, className, sizeof(className));
    if (owner == found->processId && std::string(className) == "#32770") {
        found->dialog = window;
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

HWND WaitForRestartQuestion(DWORD processId)
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        FoundDialog found{processId, nullptr};
        EnumWindows(FindProcessDialog, reinterpret_cast<LPARAM>(&found));
        // The box is shown only once its text and buttons exist.
        if (found.dialog != nullptr && IsWindowVisible(found.dialog) && GetDlgItem(found.dialog, IDNO) != nullptr)
            return found.dialog;
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
