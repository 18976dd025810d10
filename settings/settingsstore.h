#pragma once

#include <QList>
#include <QString>

#include "common/result.h"
#include "settings/settingsdocument.h"
#include "settings/storedprop.h"

/// Keeps one window's values in an XML file in a given folder. The file is read when the store
/// is made; Restore() puts the stored values into the window, Save() copies the window's values
/// into the document and Flush() writes the document out, which the destructor does at the end.
///
/// The file is replaced as a whole (written beside it, then renamed over it), so a crash or a
/// full disk leaves the previous file, never a half one. A file we may not write is read and
/// never written. A file that cannot be parsed is kept, renamed with ".bad" added, and the
/// store starts empty; problem() then says so.
class SettingsStore {
public:
    enum class Access {
        ReadWrite,
        /// Another program owns the file: it is read and never written, renamed or replaced.
        ReadOnly,
    };

    /// folder with or without a trailing separator; windowName is put in for %FORM_NAME%.
    SettingsStore(const QString& folder, const QString& fileName, const QString& windowName,
                  Access access = Access::ReadWrite);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    void setStoredProps(QList<StoredProp> props) { m_props = std::move(props); }

    void Restore();
    /// For entries this file held before they moved to a store of their own: each one the file
    /// still holds is applied as Restore() applies it (nothing when FormVersion stops a
    /// Restore) and taken out of the document, so the next Flush() writes the file without it.
    /// Run before the other store's Restore(), so what that store's file holds wins.
    void takeMoved(const QList<StoredProp>& moved);
    void Save();
    /// Save() unless one ran since the store was made or last restored: for the window's end.
    void saveIfNeeded();
    /// Writes the document unless the file is read-only. Failures are not reported by the
    /// window; the result is for whoever wants to know.
    Result<void> Flush();

    /// "TRUE, YES, Y" true, "FALSE, NO, N" false, in any case; other text as an integer, 0
    /// false and anything else true (text that is no integer counts as -1).
    static bool readBoolean(const QString& text);
    /// Characters outside A-Z a-z 0-9 - . : _ become "_"; white space is an error.
    static Result<QString> cleanName(const QString& name);

    const QString& filePath() const { return m_path; }
    bool readOnly() const { return m_readOnly; }
    bool restored() const { return m_restored; }
    /// Empty, or one line for the incoming log about a file that could not be read.
    const QString& problem() const { return m_problem; }
    const SettingsDocument& document() const { return m_document; }

private:
    QString windowPath() const;
    const SettingsElement* find(const QString& path) const;
    bool versionAllowsRestore() const;
    void apply(const StoredProp& prop, const SettingsElement& e) const;
    Result<void> write(const QString& path, const QString& value);
    void load();

    QString m_path;
    QString m_fileName;
    QString m_windowName;
    QString m_appStoragePath = QStringLiteral("%FORM_NAME%\\");
    QList<StoredProp> m_props;
    SettingsDocument m_document;
    bool m_readOnly = false;
    bool m_restored = false;
    bool m_saved = false;
    QString m_problem;
};
