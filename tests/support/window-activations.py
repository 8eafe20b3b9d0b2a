#!/usr/bin/env python3
"""Watches the X display in DISPLAY and prints one line for each request to bring a window to
the front (a _NET_ACTIVE_WINDOW message to the root window, which is what a window manager
acts on): "activate <pid>", with the _NET_WM_PID of the window's owner (0 when it has none).
Prints "ready" once it listens. Runs until it is killed.

Without a window manager (a virtual display) nobody acts on the request, so the request itself
is what shows that a program asked for its window to be raised."""
import ctypes
import sys

x11 = ctypes.CDLL("libX11.so.6")

SUBSTRUCTURE_NOTIFY_MASK = 1 << 19
CLIENT_MESSAGE = 33
XA_CARDINAL = 6


class XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("l", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("xclient", XClientMessageEvent), ("pad", ctypes.c_long * 24)]


x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.POINTER(XEvent)]
x11.XGetWindowProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long,
                                   ctypes.c_long, ctypes.c_int, ctypes.c_ulong,
                                   ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_int),
                                   ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_ulong),
                                   ctypes.POINTER(ctypes.c_void_p)]
x11.XFree.argtypes = [ctypes.c_void_p]

# A window may be gone by the time its owner is looked up: that is no reason to stop watching
# (Xlib's own handler ends the process).
ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
ignore_errors = ERROR_HANDLER(lambda display, error: 0)
x11.XSetErrorHandler.argtypes = [ERROR_HANDLER]
x11.XSetErrorHandler(ignore_errors)

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
