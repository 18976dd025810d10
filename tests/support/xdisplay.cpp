#include "xdisplay.h"

#include <QElapsedTimer>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <xcb/xcb.h>

using namespace Qt::Literals::StringLiterals;

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T>
Reply<T> reply(T* raw) {
    return Reply<T>(raw, &std::free);
}

} // namespace

XDisplay::XDisplay() = default;

XDisplay::~XDisplay() {
    if (m_c)
        xcb_disconnect(m_c);
    if (m_server.state() != QProcess::NotRunning) {
        m_server.terminate();
        if (!m_server.waitForFinished(5000))
            m_server.kill();
        m_server.waitForFinished(5000);
    }
}

bool XDisplay::start() {
    // -displayfd 1: the server takes a free display itself and writes its number when it is up.
    m_server.setProcessChannelMode(QProcess::SeparateChannels);
    m_server.setStandardErrorFile(QProcess::nullDevice());
    m_server.start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-nolisten"_s, u"tcp"_s, u"-screen"_s, u"0"_s,
                               u"1280x1024x24"_s});
    if (!m_server.waitForStarted(10000)) {
        m_error = u"Xvfb: "_s + m_server.errorString();
        return false;
    }
    QByteArray number;
    QElapsedTimer waited;
    waited.start();
    while (!number.contains('\n') && waited.elapsed() < 20000 && m_server.state() == QProcess::Running) {
        m_server.waitForReadyRead(1000);
        number += m_server.readAllStandardOutput();
    }
    if (!number.contains('\n')) {
        m_error = u"Xvfb did not come up"_s;
        return false;
    }
    m_name = u':' + QString::fromLatin1(number.trimmed());
    m_c = xcb_connect(m_name.toLatin1().constData(), nullptr);
    if (xcb_connection_has_error(m_c)) {
        m_error = u"cannot connect to "_s + m_name;
        return false;
    }
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
    return true;
}

uint32_t XDisplay::atom(const char* name) {
    const auto cookie = xcb_intern_atom(m_c, 0, static_cast<uint16_t>(std::strlen(name)), name);
    const auto answer = reply(xcb_intern_atom_reply(m_c, cookie, nullptr));
    return answer ? answer->atom : uint32_t{XCB_ATOM_NONE};
}

uint32_t XDisplay::shownWindow(qint64 pid) {
    if (!m_c)
        return 0;
    const uint32_t pidAtom = atom("_NET_WM_PID");
    const auto tree = reply(xcb_query_tree_reply(m_c, xcb_query_tree(m_c, m_root), nullptr));
    if (!tree)
        return 0;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        const auto property = reply(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, children[i], pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr));
        if (!property || xcb_get_property_value_length(property.get()) != 4 ||
            *static_cast<const uint32_t*>(xcb_get_property_value(property.get())) != pid)
            continue;
        const auto attributes =
            reply(xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, children[i]), nullptr));
        if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE)
            return children[i];
    }
    return 0;
}

bool XDisplay::focus(uint32_t window) {
    const auto cookie =
        xcb_set_input_focus_checked(m_c, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    return !reply(xcb_request_check(m_c, cookie));
}

uint8_t XDisplay::keycode(uint32_t keysym) {
    const xcb_setup_t* setup = xcb_get_setup(m_c);
    const uint8_t first = setup->min_keycode;
    const uint8_t count = static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    const auto map =
        reply(xcb_get_keyboard_mapping_reply(m_c, xcb_get_keyboard_mapping(m_c, first, count), nullptr));
    if (!map)
        return 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
    const int perCode = map->keysyms_per_keycode;
    for (int code = 0; code < count; ++code)
        for (int i = 0; i < perCode; ++i)
            if (syms[code * perCode + i] == keysym)
                return static_cast<uint8_t>(first + code);
    return 0;
}

bool XDisplay::key(uint32_t window, uint32_t keysym) {
    const uint8_t code = keycode(keysym);
    if (code == 0)
        return false;
    for (const uint8_t type : {uint8_t{XCB_KEY_PRESS}, uint8_t{XCB_KEY_RELEASE}}) {
        // Sent events are 32 bytes whatever their kind.
        char buffer[32] = {};
        auto* event = reinterpret_cast<xcb_key_press_event_t*>(buffer);
        event->response_type = type;
        event->detail = code;
        event->time = XCB_CURRENT_TIME;
        event->root = m_root;
        event->event = window;
        event->child = XCB_WINDOW_NONE;
        event->same_screen = 1;
        // No event mask: the event goes to the window's owner, whatever it selected.
        xcb_send_event(m_c, 0, window, XCB_EVENT_MASK_NO_EVENT, buffer);
    }
    return xcb_flush(m_c) > 0;
}

bool XDisplay::pressUpdateButton(uint32_t mainWindow) {
    constexpr uint32_t kTab = 0xff09;
    constexpr uint32_t kSpace = 0x20;
    // The focus change reaches the window before the keys: one connection keeps its order.
    if (!focus(mainWindow))
        return false;
    for (int i = 0; i < 5; ++i)
        if (!key(mainWindow, kTab))
            return false;
    return key(mainWindow, kSpace);
}

bool XDisplay::closeBox(uint32_t window) {
    char buffer[32] = {};
    auto* event = reinterpret_cast<xcb_client_message_event_t*>(buffer);
    event->response_type = XCB_CLIENT_MESSAGE;
    event->format = 32;
    event->window = window;
    event->type = atom("WM_PROTOCOLS");
    event->data.data32[0] = atom("WM_DELETE_WINDOW");
    event->data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(m_c, 0, window, XCB_EVENT_MASK_NO_EVENT, buffer);
    return xcb_flush(m_c) > 0;
}
