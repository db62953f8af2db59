#pragma once

// Makes the terminal take the UTF-8 the viewer prints.
void UseUtf8Console();
