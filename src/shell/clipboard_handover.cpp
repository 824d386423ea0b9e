#include "shell/clipboard_handover.h"

#include <QAbstractNativeEventFilter>
#include <QClipboard>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>

#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace vyz {
namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    const auto cookie = xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return a;
}

xcb_window_t selectionOwner(xcb_connection_t* c, xcb_atom_t selection) {
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    const xcb_window_t owner = reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
    std::free(reply);
    return owner;
}

// Sees the manager's answer (a SelectionNotify to our requestor window) among the X events.
class AnswerFilter final : public QAbstractNativeEventFilter {
public:
    AnswerFilter(xcb_window_t requestor, QEventLoop& loop) : requestor_(requestor), loop_(loop) {}
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        auto* event = static_cast<xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != XCB_SELECTION_NOTIFY) return false;
        auto* notify = reinterpret_cast<xcb_selection_notify_event_t*>(event);
        if (notify->requestor != requestor_) return false;
        taken = notify->property != XCB_ATOM_NONE;
        loop_.quit();
        return true;
    }
    bool taken = false;

private:
    xcb_window_t requestor_;
    QEventLoop& loop_;
};

} // namespace

bool HandClipboardToManager(int boundMs) {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !QGuiApplication::clipboard()->ownsClipboard()) return false;
    xcb_connection_t* c = x11->connection();
    const xcb_atom_t manager = atom(c, "CLIPBOARD_MANAGER");
    if (manager == XCB_ATOM_NONE || selectionOwner(c, manager) == XCB_WINDOW_NONE) return false;
    const xcb_atom_t saveTargets = atom(c, "SAVE_TARGETS");
    const xcb_atom_t property = atom(c, "VYZ_SAVE_TARGETS");

    // A window of our own receives the answer, so nothing of Qt's own clipboard traffic mixes in.
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t requestor = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, requestor, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    QEventLoop loop;
    AnswerFilter filter(requestor, loop);
    qApp->installNativeEventFilter(&filter);
    xcb_convert_selection(c, requestor, manager, saveTargets, property, XCB_CURRENT_TIME);
    xcb_flush(c);
    // The manager asks for the data meanwhile; Qt answers from this loop. The operator's input
    // waits: the program is closing.
    QTimer::singleShot(boundMs, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    qApp->removeNativeEventFilter(&filter);
    xcb_destroy_window(c, requestor);
    xcb_flush(c);
    return filter.taken;
}

} // namespace vyz
