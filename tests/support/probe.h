#pragma once

#include <QObject>
#include <functional>

/// Runs action on context's event loop as soon as ready() holds, asking again on every pass of
/// the loop. It reaches into a handler that keeps serving posted events while it waits (the
/// window during a connect), where nothing else the test does can run.
void postWhen(QObject* context, std::function<bool()> ready, std::function<void()> action);
