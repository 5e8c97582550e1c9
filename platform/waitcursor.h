#pragma once

// Shows the hourglass over the whole application for its lifetime, and takes it away again on
// every path out, exceptions included. Nests. Without a GUI application, or off the window's
// thread, it does nothing.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

    // True while an hourglass set here (or by anyone) is the application's override cursor.
    static bool Shown();

private:
    bool set_ = false;
};
