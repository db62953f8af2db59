#include <windows.h>

#include "tools/viewer/console.h"

void UseUtf8Console()
{
    SetConsoleOutputCP(CP_UTF8);
}
