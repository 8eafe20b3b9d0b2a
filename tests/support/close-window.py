#!/usr/bin/env python3
"""What a window manager's close button does, on a display that has no window manager.

    close-window.py --prepare   makes the atoms a window manager would have made (WM_PROTOCOLS,
                                WM_DELETE_WINDOW and their kin): a program that looks them up
                                without making them, as the framework does when it opens the
                                display, finds none on a bare virtual display and would not
                                recognise the close request. Run it before the program starts.
    close-window.py WINDOW      sends the window (its id, decimal) a WM_PROTOCOLS client message
                                carrying WM_DELETE_WINDOW."""
import ctypes
import sys

sys.dont_write_bytecode = True  # nothing written next to the sources
from xlib import CLIENT_MESSAGE, NO_EVENT_MASK, XEvent, x11

WINDOW_MANAGER_ATOMS = [b"WM_PROTOCOLS", b"WM_DELETE_WINDOW", b"WM_TAKE_FOCUS", b"WM_STATE",
                        b"WM_CHANGE_STATE", b"_NET_WM_PING", b"_NET_WM_STATE", b"_NET_WM_STATE_HIDDEN",
                        b"_NET_WM_WINDOW_TYPE", b"_NET_WM_WINDOW_TYPE_NORMAL"]

if len(sys.argv) != 2:
    sys.exit("usage: close-window.py --prepare | WINDOW")

display = x11.XOpenDisplay(None)
if not display:
    sys.exit("cannot open the display")

if sys.argv[1] == "--prepare":
    for name in WINDOW_MANAGER_ATOMS:
        x11.XInternAtom(display, name, 0)
else:
    window = int(sys.argv[1], 0)
    event = XEvent()
    event.xclient.type = CLIENT_MESSAGE
    event.xclient.window = window
    event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.xclient.format = 32
    event.xclient.l[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    event.xclient.l[1] = 0  # CurrentTime
    if not x11.XSendEvent(display, window, 0, NO_EVENT_MASK, ctypes.byref(event)):
        sys.exit("the message could not be sent")

x11.XSync(display, 0)
x11.XCloseDisplay(display)
