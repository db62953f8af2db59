#include "app/cli/progress_line.h"

#include <cstdio>

#include "app/cli/console.h"

ProgressLine::ProgressLine() : FInPlace(console::ErrorsGoToTerminal())
{
}

ProgressLine::~ProgressLine()
{
    End();
}

void ProgressLine::Show(const std::string& text)
{
    if (!FInPlace) {
        std::fprintf(stderr, "%s\n", text.c_str());
        return;
    }
    // Blanks over what a longer text before left standing.
    const std::string blanks(FShown > text.size() ? FShown - text.size() : 0, ' ');
    std::fprintf(stderr, "\r%s%s", text.c_str(), blanks.c_str());
    std::fflush(stderr);
    FShown = text.size();
}

void ProgressLine::End()
{
    if (FInPlace && FShown > 0) {
        std::fputs("\n", stderr);
        std::fflush(stderr);
    }
    FShown = 0;
}

std::string CountText(std::size_t count, const char* singular, const char* plural)
{
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
}
