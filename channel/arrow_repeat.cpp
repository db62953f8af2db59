#include "channel/arrow_repeat.h"

void ArrowRepeat::Press(ArrowButton button)
{
    FHeld = button;
    FInterval = FirstDelayMs;
}

ArrowButton ArrowRepeat::Tick()
{
    // A tick already queued when the button came up finds nothing held.
    if (FHeld != ArrowButton::None)
        FInterval = RepeatMs;
    return FHeld;
}

ArrowButton ArrowRepeat::Release(bool overButton)
{
    const ArrowButton click = overButton ? FHeld : ArrowButton::None;
    FHeld = ArrowButton::None;
    return click;
}
