#!/usr/bin/env python3
"""Watches the X display in DISPLAY and prints one line for each request to bring a window to
the front (a _NET_ACTIVE_WINDOW message to the root window, which is what a window manager
acts on): "activate <pid>", with the _NET_WM_PID of the window's owner (0 when it has none).
Prints "ready" once it listens. Runs until it is killed.

Without a window manager (a virtual display) nobody acts on the request, so the request itself
is what shows that a program asked for its window to be raised."""
import ctypes
import sys

sys.dont_write_bytecode = True  # nothing written next to the sources
from xlib import CLIENT_MESSAGE, SUBSTRUCTURE_NOTIFY_MASK, XA_CARDINAL, XEvent, x11

display = x11.XOpenDisplay(None)
if not display:
    sys.exit("cannot open the display")

root = x11.XDefaultRootWindow(display)
active_window = x11.XInternAtom(display, b"_NET_ACTIVE_WINDOW", 0)
pid_atom = x11.XInternAtom(display, b"_NET_WM_PID", 0)


def owner_pid(window):
    kind, form = ctypes.c_ulong(), ctypes.c_int()
    count, left, data = ctypes.c_ulong(), ctypes.c_ulong(), ctypes.c_void_p()
    if x11.XGetWindowProperty(display, window, pid_atom, 0, 1, 0, XA_CARDINAL, ctypes.byref(kind),
                              ctypes.byref(form), ctypes.byref(count), ctypes.byref(left),
                              ctypes.byref(data)) != 0 or not data.value:
        return 0
    pid = ctypes.cast(data, ctypes.POINTER(ctypes.c_ulong))[0] if count.value == 1 else 0
    x11.XFree(data)
    return pid


x11.XSelectInput(display, root, SUBSTRUCTURE_NOTIFY_MASK)
x11.XSync(display, 0)
print("ready", flush=True)

event = XEvent()
while True:
    x11.XNextEvent(display, ctypes.byref(event))
    if event.type == CLIENT_MESSAGE and event.xclient.message_type == active_window:
        print("activate", owner_pid(event.xclient.window), flush=True)
