#pragma once
// The scan's progress on stderr: on a terminal one line that changes in
// place; to a pipe or the journal one line per step, as a log reads it.
#include <string>

class ProgressLine {
public:
    ProgressLine();
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void Show(const std::string& text);
    // Leaves the line as it stands; what follows starts on a line of its own.
    void End();

private:
    bool FInPlace;
    std::size_t FShown = 0; // bytes of the line on screen
};

// "12 services on 3 BonDrivers".
std::string CountText(std::size_t count, const char* singular, const char* plural);
