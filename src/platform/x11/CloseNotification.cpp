#include "platform/x11/CloseNotification.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace tavora {

namespace {
struct ConnectionCloser {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
} // namespace

void postCloseNotification(uint32_t window, uint32_t message) {
    if (!std::getenv("DISPLAY"))
        return;
    std::unique_ptr<xcb_connection_t, ConnectionCloser> connection(xcb_connect(nullptr, nullptr));
    xcb_connection_t* c = connection.get();
    if (xcb_connection_has_error(c))
        return;

    xcb_intern_atom_reply_t* atomReply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, std::strlen(CloseNotificationAtom), CloseNotificationAtom), nullptr);
    if (!atomReply)
        return;
    const xcb_atom_t type = atomReply->atom;
    std::free(atomReply);

    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    event.data.data32[0] = message;
    event.data.data32[1] = 0;
    event.data.data32[2] = 0;
    xcb_send_event(c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    // A round trip makes sure the server has taken the event before the
    // connection (and soon the process) goes away; a BadWindow error is ignored.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

} // namespace tavora
