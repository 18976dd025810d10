#include "probe.h"

void postWhen(QObject* context, std::function<bool()> ready, std::function<void()> action) {
    QMetaObject::invokeMethod(
        context,
        [context, ready = std::move(ready), action = std::move(action)]() mutable {
            if (ready())
                action();
            else
                postWhen(context, std::move(ready), std::move(action));
        },
        Qt::QueuedConnection);
}
