#pragma once

// Characters that end a folder name in a path on this platform.
extern const char PathSeparators[];
