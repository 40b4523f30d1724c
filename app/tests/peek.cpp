// Looks at the windows of another Wine or Windows process, for the
// end-to-end tests of the real program.
//   peek list          one line per visible top-level window, then one
//                      indented line per child: class, text, and for a
//                      list box its items with the selected one marked
//   peek ok TITLE      presses the default button of the dialog TITLE
//   peek cancel TITLE  cancels the dialog TITLE
// Exit status 1 when no dialog has that title.
#include <windows.h>
#include <cstdio>
#include <cstring>

static void PrintChild(HWND child)
{
    char cls[64] = "", text[512] = "";
    GetClassNameA(child, cls, sizeof cls);
    GetWindowTextA(child, text, sizeof text);
    printf("  child %s \"%s\"\n", cls, text);
    if (lstrcmpiA(cls, "ListBox") != 0)
        return;
    LRESULT count = SendMessageA(child, LB_GETCOUNT, 0, 0);
    LRESULT selected = SendMessageA(child, LB_GETCURSEL, 0, 0);
    // The wide form: the narrow one comes back garbled across processes.
    for (LRESULT i = 0; i < count; i++) {
        wchar_t item[512] = L"";
        char narrow[1024] = "";
        if (SendMessageW(child, LB_GETTEXTLEN, i, 0) < 512)
            SendMessageW(child, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item));
        WideCharToMultiByte(CP_UTF8, 0, item, -1, narrow, sizeof narrow, nullptr, nullptr);
        printf("  item%s \"%s\"\n", i == selected ? "*" : "", narrow);
    }
}

static BOOL CALLBACK PrintChildProc(HWND child, LPARAM)
{
    if (GetParent(child) != nullptr)
        PrintChild(child);
    return TRUE;
}

static BOOL CALLBACK PrintTopProc(HWND window, LPARAM)
{
    if (!IsWindowVisible(window))
        return TRUE;
    char cls[64] = "", text[256] = "";
    GetClassNameA(window, cls, sizeof cls);
    GetWindowTextA(window, text, sizeof text);
    RECT r;
    GetWindowRect(window, &r);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    printf("window %p %s \"%s\" %ld %ld %ld %ld pid %lu\n", static_cast<void*>(window), cls, text, r.left,
           r.top, r.right - r.left, r.bottom - r.top, process);
    EnumChildWindows(window, PrintChildProc, 0);
    return TRUE;
}

int main(int argc, char** argv)
{
    if (argc == 2 && strcmp(argv[1], "list") == 0) {
        EnumWindows(PrintTopProc, 0);
        fflush(stdout);
        return 0;
    }
    if (argc == 3 && (strcmp(argv[1], "ok") == 0 || strcmp(argv[1], "cancel") == 0)) {
        HWND dialog = FindWindowA("#32770", argv[2]);
        if (!dialog)
            return 1;
        WPARAM button = strcmp(argv[1], "ok") == 0 ? IDOK : IDCANCEL;
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
        return 0;
    }
    fprintf(stderr, "usage: peek list | peek ok TITLE | peek cancel TITLE\n");
    return 2;
}
