#include "shell_api.h"

ShellEntryPoints ShellApi = {MsgWaitForMultipleObjects, GetCursorPos};
