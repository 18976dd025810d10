#pragma once

#include <QObject>
#include <functional>

class QWidget;

/// Input the way a user gives it: through the window system (QTest's QWindow overloads feed
/// QWindowSystemInterface), so that Qt's check for windows shut out by a modal dialog sees it.
/// QTest's QWidget overloads and QAbstractButton::click() deliver straight to the widget and go
/// around that check, so they cannot show that a window takes no input.
namespace realinput {

/// Clicks the left button at the centre of widget, in its window, once that window is exposed.
/// False when the window never became exposed or another widget lies over that point.
[[nodiscard]] bool click(QWidget* widget);
/// Presses and releases key in the window of widget, once it is exposed.
[[nodiscard]] bool keyClick(QWidget* widget, Qt::Key key);
/// Closes the window of widget as its close box does: a spontaneous close event through the
/// window system. True when the window accepted it. Qt lets such a request through a modal
/// block (it cannot tell it from a program's own close), so this shows what the close does, not
/// whether a user's click would reach the window: click() and keyClick() show that.
[[nodiscard]] bool closeBox(QWidget* widget);

/// While it lives, calls action for every top-level widget that is shown, once its window is
/// exposed, from the event loop running then: a modal dialog's own loop when it is one. So a
/// test answers a dialog that exec() keeps on screen, as a user would.
class ShownWindows : public QObject {
public:
    explicit ShownWindows(std::function<void(QWidget*)> action);
    ~ShownWindows() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(QWidget*)> m_action;
};

} // namespace realinput
