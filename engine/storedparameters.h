#pragma once

#include <QString>

#include "engine/linkparameters.h"
#include "settings/storedprop.h"

/// A stored setting bound to its member of p, for a settings store.
StoredProp boundProp(const MainSetting& setting, LinkParameters& p);

/// The options as the main window's settings file holds them, read by the window's rules: the
/// defaults first, the installation folder as the outbox, then every stored value over them. The
/// file is only read: the desktop program owns it.
struct StoredParameters {
    LinkParameters parameters;
    QString filePath;
    /// Empty, or why the file could not be used (unreadable, damaged); the defaults stand then.
    QString problem;

    /// installationFolder with a trailing "/".
    static StoredParameters read(const QString& installationFolder);
};
