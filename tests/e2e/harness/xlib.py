# The X library itself, for what xdotool does not do: the window manager's atoms and close
# request, and the windows' stacking order.

import ctypes

from .waits import Failure


# The window manager's close request: a WM_DELETE_WINDOW client message sent to the window,
# through the X library itself (there is no window manager to send it).
class XClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("xclient", XClientMessage), ("pad", ctypes.c_long * 24)]


# A window may close between the look and the request sent to it: Xlib's own handler would end
# the test's process on that BadWindow, where the caller goes on to wait for what it expects.
X_ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
IGNORE_X_ERRORS = X_ERROR_HANDLER(lambda display, error: 0)


def x11():
    lib = ctypes.cdll.LoadLibrary("libX11.so.6")
    lib.XSetErrorHandler.argtypes = [X_ERROR_HANDLER]
    lib.XSetErrorHandler(IGNORE_X_ERRORS)
    lib.XOpenDisplay.restype, lib.XOpenDisplay.argtypes = ctypes.c_void_p, [ctypes.c_char_p]
    lib.XInternAtom.restype, lib.XInternAtom.argtypes = ctypes.c_ulong, [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    lib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.POINTER(XEvent)]
    lib.XFlush.argtypes = lib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    return lib


def open_display(lib, display_name):
    display = lib.XOpenDisplay(display_name.encode())
    if not display:
        raise Failure("cannot open the display %s" % display_name)
    return display


# JUCE looks the window manager's atoms up when it starts, only if they already exist, as they do
# wherever a window manager runs. This connection makes them and keeps the X server from resetting
# (and forgetting them) between demos.
def make_window_manager_atoms(display_name):
    lib = x11()
    display = open_display(lib, display_name)
    for name in [b"WM_PROTOCOLS", b"WM_DELETE_WINDOW", b"WM_TAKE_FOCUS", b"_NET_WM_PING"]:
        lib.XInternAtom(display, name, 0)
    lib.XFlush(display)
    return display


def send_close_request(display_name, window):
    lib = x11()
    display = open_display(lib, display_name)
    event = XEvent()
    event.xclient.type, event.xclient.window, event.xclient.format = 33, window, 32  # ClientMessage
    event.xclient.message_type = lib.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.xclient.data[0] = lib.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    lib.XSendEvent(display, window, 0, 0, ctypes.byref(event))
    lib.XFlush(display)
    lib.XCloseDisplay(display)


# The screen's windows from the bottom up (without a window manager, the program's windows are
# the root window's children).
def stacking(display_name):
    lib, unused, count, children = x11(), ctypes.c_ulong(), ctypes.c_uint(), ctypes.POINTER(ctypes.c_ulong)()
    lib.XDefaultRootWindow.restype, lib.XDefaultRootWindow.argtypes = ctypes.c_ulong, [ctypes.c_void_p]
    lib.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_void_p] * 4
    display = open_display(lib, display_name)
    lib.XQueryTree(display, lib.XDefaultRootWindow(display), ctypes.byref(unused), ctypes.byref(unused),
                   ctypes.byref(children), ctypes.byref(count))
    order = children[:count.value]
    lib.XFree(children)
    lib.XCloseDisplay(display)
    return order
