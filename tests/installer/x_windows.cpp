#include "x_windows.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <chrono>
#include <thread>

namespace {

int Shift(unsigned long mask) {
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

}  // namespace

std::string WindowTitle(Display* dpy, Window w) {
    std::string title;
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy, w, XInternAtom(dpy, "_NET_WM_NAME", False), 0, 1024, False,
                           XInternAtom(dpy, "UTF8_STRING", False), &type, &format, &count, &after,
                           &data) == Success &&
        data != nullptr && format == 8) {
        title.assign(reinterpret_cast<char*>(data), count);
    } else {
        char* name = nullptr;
        if (XFetchName(dpy, w, &name) && name != nullptr) {
            title = name;
            XFree(name);
        }
    }
    if (data != nullptr) {
        XFree(data);
    }
    return title;
}

namespace {

// The first viewable top-level window that passes the test, waiting at most
// the given time for one.
template <typename Test>
Window WaitForTopLevelThat(Display* dpy, int seconds, Test test) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        Window root, parent, *children = nullptr;
        unsigned int count = 0;
        Window found = 0;
        if (XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &count)) {
            for (unsigned int i = 0; i < count && found == 0; ++i) {
                XWindowAttributes attrs;
                if (XGetWindowAttributes(dpy, children[i], &attrs) && attrs.map_state == IsViewable &&
                    test(children[i])) {
                    found = children[i];
                }
            }
            XFree(children);
        }
        if (found != 0 || std::chrono::steady_clock::now() >= deadline) {
            return found;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace

Window WaitForTopLevel(Display* dpy, const std::string& title, int seconds) {
    return WaitForTopLevelThat(dpy, seconds, [&](Window w) { return WindowTitle(dpy, w) == title; });
}

Window WaitForDialogOf(Display* dpy, Window owner, int seconds) {
    return WaitForTopLevelThat(dpy, seconds, [&](Window w) {
        Window transientFor = 0;
        return XGetTransientForHint(dpy, w, &transientFor) && transientFor == owner;
    });
}

WindowRect RootRect(Display* dpy, Window w) {
    WindowRect rect;
    XWindowAttributes attrs;
    Window child;
    if (XGetWindowAttributes(dpy, w, &attrs)) {
        XTranslateCoordinates(dpy, w, DefaultRootWindow(dpy), 0, 0, &rect.x, &rect.y, &child);
        rect.width = attrs.width;
        rect.height = attrs.height;
    }
    return rect;
}

int Picture::DarkPixels() const {
    int dark = 0;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        dark += rgb[i] + rgb[i + 1] + rgb[i + 2] < 3 * 96;
    }
    return dark;
}

Picture Grab(Display* dpy, Window w, const WindowRect& area) {
    Picture picture;
    XImage* image = XGetImage(dpy, w, area.x, area.y, static_cast<unsigned>(area.width),
                              static_cast<unsigned>(area.height), AllPlanes, ZPixmap);
    if (image == nullptr) {
        return picture;
    }
    const unsigned long masks[3] = {image->red_mask, image->green_mask, image->blue_mask};
    picture.width = area.width;
    picture.height = area.height;
    picture.rgb.reserve(static_cast<size_t>(area.width) * area.height * 3);
    for (int y = 0; y < area.height; ++y) {
        for (int x = 0; x < area.width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            for (unsigned long mask : masks) {
                const unsigned long top = mask >> Shift(mask);
                const unsigned long value = (pixel & mask) >> Shift(mask);
                picture.rgb.push_back(static_cast<unsigned char>(top != 0 ? value * 255 / top : 0));
            }
        }
    }
    XDestroyImage(image);
    return picture;
}
