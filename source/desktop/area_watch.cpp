#include "desktop/area_watch.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdlib>
#include <memory>

namespace veltrin::shell {

namespace {

// The screen whose tray counts: the one the display name gives, as ":0.1" names screen 1.
int ScreenNumber() {
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype dot = display.lastIndexOf('.');
    const qsizetype colon = display.lastIndexOf(':');
    return dot > colon && colon >= 0 ? display.mid(dot + 1).toInt() : 0;
}

class SelectionFilter : public QAbstractNativeEventFilter {
public:
    SelectionFilter(std::uint8_t firstEvent, xcb_atom_t selection, AreaWatch* watch)
        : m_notify(firstEvent + XCB_XFIXES_SELECTION_NOTIFY), m_selection(selection), m_watch(watch) {}

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") {
            return false;
        }
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) == m_notify &&
            reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event)->selection == m_selection) {
            // Qt's own tray tracker hears of the new owner from the same server: let it first.
            QMetaObject::invokeMethod(m_watch, &AreaWatch::Changed, Qt::QueuedConnection);
        }
        return false;
    }

private:
    std::uint8_t m_notify;
    xcb_atom_t m_selection;
    AreaWatch* m_watch;
};

// Asks the X server to report changes of the tray selection's owner. False off X11, or where the
// server lacks the XFixes extension.
bool WatchTraySelection(AreaWatch* watch) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection) {
        return false;
    }
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_xfixes_id);
    if (!extension || !extension->present) {
        return false;
    }
    std::free(xcb_xfixes_query_version_reply(connection, xcb_xfixes_query_version(connection, 1, 0), nullptr));

    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(ScreenNumber());
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.constData()), nullptr);
    if (!atom) {
        return false;
    }
    const xcb_atom_t selection = atom->atom;
    std::free(atom);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int n = ScreenNumber(); n > 0 && screens.rem > 1; --n) {
        xcb_screen_next(&screens);
    }
    if (!screens.data) {
        return false;
    }
    xcb_xfixes_select_selection_input(connection, screens.data->root, selection,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    xcb_flush(connection);
    // Lives as long as the program: the application keeps a pointer to it.
    static SelectionFilter filter(extension->first_event, selection, watch);
    QCoreApplication::instance()->installNativeEventFilter(&filter);
    return true;
}

} // namespace

AreaWatch::AreaWatch() { m_reported = WatchTraySelection(this); }

AreaWatch& AreaWatch::Instance() {
    static AreaWatch watch;
    return watch;
}

} // namespace veltrin::shell
