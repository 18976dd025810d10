#pragma once

#include <QString>

#include "app/hoofdscherm.h"

/// The main window's configuration for a benchmark: folder (with a trailing "/") as the
/// executable's folder, this program as the executable, no tray icon (offscreen has none), and
/// the production intervals.
HoofdschermConfig benchWindowConfig(const QString& folder);
