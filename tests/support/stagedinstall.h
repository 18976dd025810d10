#pragma once

#include <QString>
#include <QTemporaryDir>

/// The build installed by `cmake --install` into a temporary staging folder, whose name has blanks
/// so every installed file that names a path is tried with one. It is removed with this object.
class StagedInstall {
public:
    enum class Mode {
        /// Under the prefix /usr below the staging folder (DESTDIR), as a package build does it:
        /// the files name /usr, which is not where they are.
        PackageRoot,
        /// With the staging folder as the prefix: what the files name is where they are.
        Prefix,
    };

    StagedInstall(const QString& cmakeCommand, const QString& buildFolder, Mode mode = Mode::PackageRoot);

    /// Runs the install; false, with what cmake said in errorString(), when it failed.
    [[nodiscard]] bool install();
    QString errorString() const { return m_error; }

    /// The prefix the files were installed under, as seen from here, with a trailing slash.
    QString prefix() const;

private:
    QString m_cmake;
    QString m_build;
    Mode m_mode;
    QTemporaryDir m_stage;
    QString m_error;
};
