#include "tooltip.h"
#include <cstddef>

// The tool is registered with the record's first version, up to lpszText.
static_assert(offsetof(TTTOOLINFOA, lpszText) + sizeof(LPSTR) == (sizeof(void*) == 4 ? 40 : 56));

void AttachTip(ControlTip* tip, HWND panel, HINSTANCE instance, HWND control, const char* text)
{
    tip->window = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    tip->tool = TOOLINFOA{};
    tip->tool.cbSize = TTTOOLINFOA_V1_SIZE;
    tip->tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tip->tool.hwnd = panel;
    tip->tool.uId = reinterpret_cast<UINT_PTR>(control);
    tip->tool.hinst = instance;
    tip->tool.lpszText = const_cast<LPSTR>(text);  // only read by the tooltip
    SendMessageA(tip->window, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tip->tool));
}

void DetachTip(ControlTip* tip)
{
    if (!tip->window)
        return;
    SendMessageA(tip->window, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tip->tool));
    DestroyWindow(tip->window);
    tip->window = nullptr;
}
