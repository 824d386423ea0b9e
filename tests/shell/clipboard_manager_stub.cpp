// A clipboard manager that does only the ICCCM hand-over, as the settings daemons of GNOME, MATE
// and Cinnamon do on X11: it owns CLIPBOARD_MANAGER; asked to convert it to SAVE_TARGETS, it
// fetches the clipboard's text from its owner and answers; once the clipboard has no owner any
// more, it takes the clipboard and serves the saved text. Prints "READY" when it owns the
// selection. Runs until killed.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

Display* d;
Window self;
Atom clipboard, manager, saveTargets, targets, utf8, data;
std::string saved;
bool haveSaved = false;

// Fetches the clipboard's UTF8_STRING into `saved`, waiting for the owner's answer.
bool fetchClipboard() {
    XConvertSelection(d, clipboard, utf8, data, self, CurrentTime);
    for (int i = 0; i < 400; ++i) { // 2 s
        XEvent e;
        while (XCheckTypedWindowEvent(d, self, SelectionNotify, &e)) {
            if (e.xselection.property == None) return false;
            Atom type;
            int format;
            unsigned long count, after;
            unsigned char* bytes = nullptr;
            XGetWindowProperty(d, self, data, 0, 1 << 24, True, AnyPropertyType, &type, &format,
                               &count, &after, &bytes);
            saved.assign(reinterpret_cast<char*>(bytes), count);
            XFree(bytes);
            return true;
        }
        usleep(5000);
    }
    return false;
}

void answer(const XSelectionRequestEvent& r, Atom property) {
    XEvent n{};
    n.xselection.type = SelectionNotify;
    n.xselection.requestor = r.requestor;
    n.xselection.selection = r.selection;
    n.xselection.target = r.target;
    n.xselection.property = property;
    n.xselection.time = r.time;
    XSendEvent(d, r.requestor, False, NoEventMask, &n);
    XFlush(d);
}

void serve(const XSelectionRequestEvent& r) {
    const Atom property = r.property == None ? r.target : r.property;
    if (r.selection == manager && r.target == saveTargets) {
        haveSaved = fetchClipboard();
        answer(r, haveSaved ? property : None);
    } else if (r.selection == clipboard && haveSaved && r.target == targets) {
        const Atom list[2] = {targets, utf8};
        XChangeProperty(d, r.requestor, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(list), 2);
        answer(r, property);
    } else if (r.selection == clipboard && haveSaved && r.target == utf8) {
        XChangeProperty(d, r.requestor, property, utf8, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(saved.data()), int(saved.size()));
        answer(r, property);
    } else {
        answer(r, None);
    }
}

} // namespace

int main() {
    d = XOpenDisplay(nullptr);
    if (!d) return 1;
    self = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    clipboard = XInternAtom(d, "CLIPBOARD", False);
    manager = XInternAtom(d, "CLIPBOARD_MANAGER", False);
    saveTargets = XInternAtom(d, "SAVE_TARGETS", False);
    targets = XInternAtom(d, "TARGETS", False);
    utf8 = XInternAtom(d, "UTF8_STRING", False);
    data = XInternAtom(d, "VYZ_STUB_DATA", False);
    XSetSelectionOwner(d, manager, self, CurrentTime);
    if (XGetSelectionOwner(d, manager) != self) return 1;
    std::printf("READY\n");
    std::fflush(stdout);
    for (;;) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == SelectionRequest) serve(e.xselectionrequest);
        }
        // The program that owned the clipboard is gone: the saved text takes its place.
        if (haveSaved && XGetSelectionOwner(d, clipboard) == None)
            XSetSelectionOwner(d, clipboard, self, CurrentTime);
        usleep(10000);
    }
}
