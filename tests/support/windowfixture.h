#pragma once

#include <QStringList>
#include <QTest>
#include <memory>

#include "app/application.h"
#include "app/hoofdscherm.h"
#include "loopbackpeer.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

/// A configuration for a main window under test: folder (with a trailing "/") as the
/// executable's folder, the test program as the executable whose version the caption shows, and
/// no tray icon, which an offscreen desktop does not have. Intervals keep their production values.
HoofdschermConfig testWindowConfig(const QString& folder);

/// The real main window, its controls found by the object names a user's settings file also
/// uses, and a host on loopback for tests that need one. A test class derives from it after
/// QObject, creates m_window (and m_peer) in init() and resets them in cleanup().
class WindowFixture {
protected:
    QLineEdit* edit(const QString& name) const;
    QCheckBox* option(const QString& name) const;
    QPushButton* button(const QString& name) const;
    /// Clicks the on/off button.
    void onOff() const;
    QStringList incoming() const;
    QStringList status() const;
    /// Switches the link on; the host sees one connection and the incoming log holds only
    /// "Verbinding opgebouwd".
    void connectToPeer() const;

    std::unique_ptr<LoopbackPeer> m_peer;
    std::unique_ptr<THoofdscherm> m_window;
};

/// main() for a window test: the application's own QApplication, whose error hook the window
/// reports through, then the test object.
#define RTCP_WINDOW_TEST_MAIN(TestObject)                                                                    \
    int main(int argc, char** argv) {                                                                        \
        Application app(argc, argv);                                                                         \
        TestObject test;                                                                                     \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
