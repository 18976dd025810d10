#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "transport/transportwait.h"

class QAction;
class QEvent;
class QWidget;

/// Keeps the window alive while the transport waits: it repaints, follows resizes and answers
/// the desktop's ping. No handler of the program runs meanwhile: timers and socket notifiers
/// wait, and the operator's input is held and delivered when the wait is over, in its order.
///
/// Three things end a wait early. A press on a stop control is used up: it stops the connect or
/// send (as a failed one) and is not delivered again. A close of the main window or the choice
/// of a quit action ends the wait and is then delivered, so the program closes at once. An end
/// condition (a termination signal waiting to be handled) ends it the same way.
class ResponsiveWait : public QObject, public TransportWait {
    Q_OBJECT
public:
    explicit ResponsiveWait(QObject* parent = nullptr);
    ~ResponsiveWait() override;

    void addStopControl(QWidget* control);
    void setMainWindow(QWidget* window);
    void addQuitAction(QAction* action);
    void addEndCondition(std::function<bool()> condition);

    /// True while a transport wait is being served.
    bool waiting() const { return m_waiting; }

    bool serve() override;
    void waitEnded() override;

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override;

private:
    struct Held {
        QPointer<QObject> receiver;
        std::unique_ptr<QEvent> event;
    };

    bool isStopPress(QObject* receiver, QEvent* event) const;
    bool isQuit(QObject* receiver, QEvent* event) const;

    QList<QPointer<QWidget>> m_stopControls;
    QPointer<QWidget> m_mainWindow;
    QList<QPointer<QAction>> m_quitActions;
    std::vector<std::function<bool()>> m_endConditions;
    std::vector<Held> m_held;
    bool m_waiting = false;
    bool m_serving = false;
    bool m_ended = false;          ///< the wait is to end at the next serve()
    bool m_swallowRelease = false; ///< the release of a used-up stop press
};
