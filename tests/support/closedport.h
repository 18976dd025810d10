#pragma once

#include <QtGlobal>

/// A port on 127.0.0.1 that nothing listens on: bound once, then released, so a connect to it
/// is refused. 0 when no port could be bound.
quint16 closedPort();
