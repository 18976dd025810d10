#include "realinput.h"

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace realinput {

namespace {

QWindow* exposedWindow(QWidget* widget) {
    if (!widget || !QTest::qWaitForWindowExposed(widget->window()))
        return nullptr;
    return widget->window()->windowHandle();
}

} // namespace

bool click(QWidget* widget) {
    QWindow* window = exposedWindow(widget);
    if (!window)
        return false;
    QWidget* top = widget->window();
    const QPoint pos = widget->mapTo(top, widget->rect().center());
    // What the pointer would hit there, the widget itself or one of its own children.
    QWidget* under = top->childAt(pos);
    if (under != widget && !widget->isAncestorOf(under))
        return false;
    QTest::mouseClick(window, Qt::LeftButton, {}, pos);
    return true;
}

bool keyClick(QWidget* widget, Qt::Key key) {
    QWindow* window = exposedWindow(widget);
    if (!window)
        return false;
    QTest::keyClick(window, key);
    return true;
}

bool closeBox(QWidget* widget) {
    QWindow* window = exposedWindow(widget);
    return window && window->close();
}

ShownWindows::ShownWindows(std::function<void(QWidget*)> action)
    : m_action(std::move(action)) {
    qApp->installEventFilter(this);
}

ShownWindows::~ShownWindows() {
    qApp->removeEventFilter(this);
}

bool ShownWindows::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow()) {
            // Queued: the show is still under way, and exec() has yet to start its loop.
            QTimer::singleShot(0, this, [this, shown = QPointer<QWidget>(widget)] {
                if (shown && shown->isVisible() && QTest::qWaitForWindowExposed(shown))
                    m_action(shown);
            });
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace realinput
