#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "engine/linkparameters.h"
#include "settings/storedprop.h"

/// The main window's settings file, which other programs at an installation read and write too;
/// it keeps the options of mainSettings().
inline QString mainSettingsFileName() {
    return QStringLiteral("RTCPIPCLIENT.xml");
}
/// Beside it, the file of the options that file does not hold. Its name does not end in ".xml":
/// the outbox folder is the same folder by default, and every "*.xml" file there is sent.
inline QString extraSettingsFileName() {
    return QStringLiteral("RTCPIPCLIENT.extra");
}
/// The options of the extra settings file, in the order it lists them, under the same window
/// element as in the main file. A new option of the window gets one line here.
const QList<MainSetting>& extraSettings();

/// A stored setting bound to its member of p, for a settings store.
StoredProp boundProp(const MainSetting& setting, LinkParameters& p);
QList<StoredProp> boundProps(const QList<MainSetting>& settings, LinkParameters& p);

/// The settings files of an installation folder (with a trailing "/"): the main window's, the
/// extra one beside it and the SMS dialog's. The outbox sender never takes them for outgoing.
QStringList ownSettingsFiles(const QString& installationFolder);

/// The options as the main window's settings files hold them, read by the window's rules: the
/// defaults first, the installation folder as the outbox, then every stored value over them;
/// the extra options that an older main file still holds count where the extra file has none.
/// The files are only read: the desktop program owns them.
struct StoredParameters {
    LinkParameters parameters;
    QString filePath;
    QString extraFilePath;
    /// Empty, or why a file could not be used (unreadable, damaged), one line a file; the
    /// defaults stand then.
    QString problem;

    /// installationFolder with a trailing "/".
    static StoredParameters read(const QString& installationFolder);
};
