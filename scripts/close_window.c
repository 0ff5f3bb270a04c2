/* Asks the game's window to close, as a window manager's close button does:
 * a WM_DELETE_WINDOW client message to every top-level window of the display
 * that takes part in that protocol. Waits up to the given seconds (default
 * 30) for such a window to appear; exits 1 when none did.
 *
 *   cc -o close_window close_window.c -lX11 && ./close_window [SECONDS]
 */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static int TakesDelete(Display* d, Window w, Atom del) {
  Atom* protocols = NULL;
  int n = 0, found = 0;
  if (XGetWMProtocols(d, w, &protocols, &n)) {
    for (int i = 0; i < n; ++i) found |= protocols[i] == del;
    XFree(protocols);
  }
  return found;
}

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? atof(argv[1]) : 30.0;
  Display* d = XOpenDisplay(NULL);
  if (!d) {
    fprintf(stderr, "close_window: no display\n");
    return 2;
  }
  const Atom del = XInternAtom(d, "WM_DELETE_WINDOW", False);
  const Atom protocols = XInternAtom(d, "WM_PROTOCOLS", False);
  for (double waited = 0; waited <= seconds; waited += 0.05) {
    Window root, parent, *children = NULL;
    unsigned int count = 0;
    int sent = 0;
    if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) {
      for (unsigned int i = 0; i < count; ++i) {
        if (!TakesDelete(d, children[i], del)) continue;
        XEvent e = {0};
        e.xclient.type = ClientMessage;
        e.xclient.window = children[i];
        e.xclient.message_type = protocols;
        e.xclient.format = 32;
        e.xclient.data.l[0] = (long)del;
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(d, children[i], False, NoEventMask, &e);
        sent = 1;
      }
      if (children) XFree(children);
    }
    if (sent) {
      XSync(d, False);
      XCloseDisplay(d);
      return 0;
    }
    usleep(50000);
  }
  fprintf(stderr, "close_window: no window to close\n");
  XCloseDisplay(d);
  return 1;
}
