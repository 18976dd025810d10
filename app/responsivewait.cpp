#include "app/responsivewait.h"

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace {

enum class Kind { Other, Input, Drag, ShortcutQuery, Notifier };

Kind kindOf(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Close:
        return Kind::Input;
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return Kind::Drag;
    case QEvent::ShortcutOverride:
        return Kind::ShortcutQuery;
    case QEvent::SockAct:
        return Kind::Notifier;
    default:
        return Kind::Other;
    }
}

// The widget an event is for: input reaches a top-level's window first, and only then the
// widget under the pointer or with the focus.
QWidget* targetOf(QObject* receiver, const QEvent* event) {
    QWidget* widget = qobject_cast<QWidget*>(receiver);
    if (!widget) {
        const auto* window = qobject_cast<QWindow*>(receiver);
        if (!window)
            return nullptr;
        const QWidgetList tops = QApplication::topLevelWidgets();
        for (QWidget* top : tops)
            if (top->windowHandle() == window)
                widget = top;
        if (!widget)
            return nullptr;
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)
            return widget->focusWidget() ? widget->focusWidget() : widget;
    }
    if (const auto* mouse = dynamic_cast<const QMouseEvent*>(event))
        if (QWidget* child = widget->childAt(mouse->position().toPoint()))
            return child;
    return widget;
}

QPoint positionIn(QWidget* widget, QObject* receiver, const QMouseEvent* mouse) {
    if (receiver == widget)
        return mouse->position().toPoint();
    return widget->mapFromGlobal(mouse->globalPosition().toPoint());
}

bool isActivationKey(const QEvent* event) {
    const auto* key = static_cast<const QKeyEvent*>(event);
    return key->key() == Qt::Key_Space || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter ||
           key->key() == Qt::Key_Select;
}

} // namespace

ResponsiveWait::ResponsiveWait(QObject* parent)
    : QObject(parent) {}

ResponsiveWait::~ResponsiveWait() {
    if (m_waiting)
        QCoreApplication::instance()->removeEventFilter(this);
}

void ResponsiveWait::addStopControl(QWidget* control) {
    m_stopControls.append(control);
}

void ResponsiveWait::setMainWindow(QWidget* window) {
    m_mainWindow = window;
}

void ResponsiveWait::addQuitAction(QAction* action) {
    m_quitActions.append(action);
}

void ResponsiveWait::addEndCondition(std::function<bool()> condition) {
    m_endConditions.push_back(std::move(condition));
}

bool ResponsiveWait::serve() {
    // Something run from this very loop (a queued call) may itself wait; it only gets the answer.
    if (m_serving)
        return !m_ended;
    if (!m_waiting) {
        m_waiting = true;
        QCoreApplication::instance()->installEventFilter(this);
    }
    for (const auto& condition : m_endConditions)
        if (condition())
            m_ended = true;
    if (m_ended)
        return false;
    m_serving = true;
    // Window-system events and posted ones (repaints, layout) only: timers and socket notifiers
    // are the program's handlers, and they run after the wait as if it had been a short one.
    QCoreApplication::processEvents(QEventLoop::X11ExcludeTimers | QEventLoop::ExcludeSocketNotifiers);
    m_serving = false;
    return !m_ended;
}

void ResponsiveWait::waitEnded() {
    if (!m_waiting)
        return;
    m_waiting = false;
    m_ended = false;
    m_swallowRelease = false;
    QCoreApplication::instance()->removeEventFilter(this);
    // Posted, not sent: the held input arrives where input arrives after a wait, once the
    // handler that waited has gone on its way.
    for (Held& held : std::exchange(m_held, {}))
        if (held.receiver)
            QCoreApplication::postEvent(held.receiver, held.event.release());
}

bool ResponsiveWait::isStopPress(QObject* receiver, QEvent* event) const {
    const bool press =
        event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
    if (press && static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
        return false;
    if (!press && !(event->type() == QEvent::KeyPress && isActivationKey(event)))
        return false;
    QWidget* target = targetOf(receiver, event);
    for (const QPointer<QWidget>& control : m_stopControls)
        if (control && target && control->isEnabled() && (target == control || control->isAncestorOf(target)))
            return true;
    return false;
}

bool ResponsiveWait::isQuit(QObject* receiver, QEvent* event) const {
    if (event->type() == QEvent::Close) {
        if (!m_mainWindow)
            return false;
        return receiver == m_mainWindow || receiver == m_mainWindow->windowHandle();
    }
    const bool release = event->type() == QEvent::MouseButtonRelease;
    if (!release && !(event->type() == QEvent::KeyPress && isActivationKey(event)))
        return false;
    auto* menu = qobject_cast<QMenu*>(targetOf(receiver, event));
    if (!menu)
        return false;
    const QAction* chosen = release
                                ? menu->actionAt(positionIn(menu, receiver, static_cast<QMouseEvent*>(event)))
                                : menu->activeAction();
    for (const QPointer<QAction>& action : m_quitActions)
        if (action && chosen == action)
            return true;
    return false;
}

bool ResponsiveWait::eventFilter(QObject* receiver, QEvent* event) {
    switch (kindOf(event->type())) {
    case Kind::Other:
        return false;
    case Kind::ShortcutQuery:
        // Accepted, the key goes to the window as a plain key press, and is held there.
        event->accept();
        return true;
    case Kind::Drag:
        // A drop carries data that is gone once the drag is over, so it cannot wait: it is
        // refused, and the pointer shows it.
        static_cast<QDropEvent*>(event)->setDropAction(Qt::IgnoreAction);
        event->ignore();
        return true;
    case Kind::Notifier:
        // Not every event dispatcher leaves socket notifiers out when asked to. Their sockets stay
        // ready, so a notifier left alone here fires again once the wait is over.
        return true;
    case Kind::Input:
        break;
    }
    if (m_swallowRelease &&
        (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::KeyRelease)) {
        m_swallowRelease = false;
        return true;
    }
    if (isStopPress(receiver, event)) {
        m_ended = true;
        m_swallowRelease = true;
        return true;
    }
    if (isQuit(receiver, event))
        m_ended = true;
    m_held.push_back({receiver, std::unique_ptr<QEvent>(event->clone())});
    return true;
}
