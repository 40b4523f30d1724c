#include "dialog_watch.h"
#include <cstring>

static DialogWatch* Active;

DialogWatch::DialogWatch(std::function<void(HWND)> answer) : answer(std::move(answer))
{
    Active = this;
    hook = SetWindowsHookExA(WH_CBT, Hook, nullptr, GetCurrentThreadId());
}

DialogWatch::~DialogWatch()
{
    UnhookWindowsHookEx(hook);
    Active = nullptr;
}

LRESULT CALLBACK DialogWatch::Hook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && Active) {
        HWND window = reinterpret_cast<HWND>(wParam);
        char className[64] = {};
        GetClassNameA(window, className, sizeof className);
        if (strcmp(className, "#32770") == 0) {
            SeenDialog dialog;
            char text[512] = {};
            GetWindowTextA(window, text, sizeof text);
            dialog.caption = text;
            text[0] = 0;
            GetDlgItemTextA(window, 0xFFFF, text, sizeof text);  // a message box's message
            dialog.text = text;
            dialog.owner = GetWindow(window, GW_OWNER);
            // Each box is seen once, however often it is activated.
            bool known = GetPropA(window, "seen") != nullptr;
            if (!known) {
                SetPropA(window, "seen", reinterpret_cast<HANDLE>(1));
                Active->seen.push_back(dialog);
                if (Active->calls && !dialog.text.empty())
                    Active->calls->push_back("MessageBox " + dialog.text);
                if (Active->answer)
                    Active->answer(window);
                else if (!dialog.text.empty())
                    PostMessageA(window, WM_COMMAND, IDOK, 0);
            }
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
