#pragma once

// Characters that end a folder name in a path on this platform.
extern const char PathSeparators[];
// How this platform's own text files end their lines.
extern const char TextLineEnd[];
