#pragma once
// The auto-repeat of the channel list's arrow buttons, without the window:
// holding one moves the selected rows once after 500 ms, then every 100 ms,
// and releasing it over the button moves them once more (its click); a
// release elsewhere adds no move. The window calls these from its mouse
// messages and its one timer, makes the moves they answer and runs the timer
// at Interval() (stopped at 0).

enum class ArrowButton { None, Up, Down };

class ArrowRepeat {
public:
    static constexpr int FirstDelayMs = 500;
    static constexpr int RepeatMs = 100;

    // The left mouse button went down on an arrow button.
    void Press(ArrowButton button);
    // The timer fired: the move to make (None when no button is held).
    ArrowButton Tick();
    // The left mouse button came up: the click's move when it came up over
    // the held button, else None. The click's move comes from here, so the
    // window does not also act on the button's own click notice for a mouse
    // click.
    ArrowButton Release(bool overButton);

    ArrowButton Held() const { return FHeld; }
    // How often the timer should fire now; 0 when it should not run.
    int Interval() const { return FHeld == ArrowButton::None ? 0 : FInterval; }

private:
    ArrowButton FHeld = ArrowButton::None;
    int FInterval = FirstDelayMs;
};
