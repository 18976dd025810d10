#pragma once

#include <QProcess>
#include <QString>
#include <cstdint>

struct xcb_connection_t;

/// An X server of the test's own (Xvfb on the display it picks itself), and what a desktop does
/// to another process's window on it: find it, give it the keyboard, type into it, and close it
/// as a window manager's close box does. So a test drives the real program, not a copy of its
/// window in the test. Keys and the close are sent events: the window's owner gets them whatever
/// it asked the server for, and Qt takes them as the server's own.
class XDisplay {
public:
    XDisplay();
    ~XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    /// False, with the reason in errorString(), when Xvfb is missing or does not come up.
    [[nodiscard]] bool start();
    QString errorString() const { return m_error; }
    /// ":N", for DISPLAY.
    QString name() const { return m_name; }

    /// The top-level window of process pid that is on screen (mapped and viewable); 0 when it has
    /// none (yet).
    uint32_t shownWindow(qint64 pid);
    /// Gives window the keyboard, as a click on it would.
    bool focus(uint32_t window);
    /// Presses and releases the key of keysym (an X keysym: 0xff09 Tab, 0x20 space) in window.
    bool key(uint32_t window, uint32_t keysym);
    /// Presses "UPDATE CONTROLE" of the main window from the keyboard: the window takes the
    /// focus, which goes to its first control (the tab bar), the tab key walks past the host, the
    /// port and "AAN / UIT" to the button, and the space bar presses it.
    bool pressUpdateButton(uint32_t mainWindow);
    /// Asks window to close (WM_DELETE_WINDOW), as the close box of a window manager does.
    bool closeBox(uint32_t window);

private:
    uint32_t atom(const char* name);
    uint8_t keycode(uint32_t keysym);

    QProcess m_server;
    QString m_name;
    QString m_error;
    xcb_connection_t* m_c = nullptr;
    uint32_t m_root = 0;
};
