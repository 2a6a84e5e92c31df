// The question start-up asks when the printer software's components are not in order:
// a message box of the instance's process, found and answered by the tests.
//
//     HWND question = WaitForRestartQuestion(process.ProcessId());
//     AnswerRestartQuestion(question, IDNO);
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The first top-level window of the class that belongs to the process, or nullptr.
HWND FindWindowOfProcess(DWORD processId, const char *className);

// The process's message box once its text and buttons exist; nullptr after 10 s.
HWND WaitForRestartQuestion(DWORD processId);
// The texts of the box's child windows (its question among them).
std::vector<std::string> DialogTexts(HWND dialog);
void AnswerRestartQuestion(HWND dialog, int button);
