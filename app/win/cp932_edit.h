#pragma once
// Edit fields whose text the program keeps as code page 932 bytes (settings,
// channel names): the bytes are what is stored and sent, so a character
// without a form there is kept out of the field rather than saved as another.
#include <windows.h>

#include <optional>
#include <string>

// The field's text as code page 932 bytes. A character without a form there
// is refused: the field goes back to `kept` with the caret where the typing
// left it, the system beeps, and a note on the field (a box where no balloon
// can show) tells the user why. Nothing is returned then. Putting `kept` back
// changes the field's text once more, which reads as `kept`.
std::optional<std::string> TakeCp932Text(HWND edit, const std::string& kept);
