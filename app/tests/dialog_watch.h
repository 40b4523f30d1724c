// Answers the modal boxes a test provokes: a CBT hook on the test's thread
// sees each dialog window as it activates, records it and lets a handler
// act on it (read the text, press a button), so no person is needed.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

struct SeenDialog {
    std::string caption;
    std::string text;  // a message box's message, empty for other dialogs
    HWND owner;
};

class DialogWatch {
public:
    // `answer` runs for each dialog as it activates; by default message boxes
    // are dismissed with OK and other dialogs are left alone.
    explicit DialogWatch(std::function<void(HWND)> answer = nullptr);
    ~DialogWatch();
    std::vector<SeenDialog> seen;
    // Optional call record to note each box in, in order with other calls.
    std::vector<std::string>* calls = nullptr;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    HHOOK hook;
    std::function<void(HWND)> answer;
};
