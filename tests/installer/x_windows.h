// Looking at another program's windows on the test display, as a window
// manager or a person would: by title, position and what is on screen.
// (The toolkit draws its widgets into the top-level window itself; they
// have no X windows of their own to look for.)
#pragma once

#include <X11/Xlib.h>

#include <string>
#include <vector>

struct WindowRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// The window's title as UTF-8: _NET_WM_NAME, else WM_NAME.
std::string WindowTitle(Display* dpy, Window w);

// The viewable top-level window with this title; 0 when none shows within
// the given time.
Window WaitForTopLevel(Display* dpy, const std::string& title, int seconds);

// The viewable top-level window that is transient for owner (a dialog of
// it); 0 when none shows within the given time.
Window WaitForDialogOf(Display* dpy, Window owner, int seconds);

// Where the window lies relative to the root window.
WindowRect RootRect(Display* dpy, Window w);

// An area of a window as RGB bytes, 3 per pixel, row after row.
struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    bool operator==(const Picture&) const = default;
    const unsigned char* At(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
    // Pixels darker than mid grey: text, frames, check marks.
    int DarkPixels() const;
};

// Empty picture when the area cannot be read.
Picture Grab(Display* dpy, Window w, const WindowRect& area);
