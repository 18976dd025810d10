#include "stagedinstall.h"

#include <QDir>
#include <QProcess>

using namespace Qt::Literals::StringLiterals;

StagedInstall::StagedInstall(const QString& cmakeCommand, const QString& buildFolder, Mode mode)
    : m_cmake(cmakeCommand)
    , m_build(buildFolder)
    , m_mode(mode)
    , m_stage(QDir::tempPath() + u"/rtcp stage XXXXXX"_s) {}

QString StagedInstall::prefix() const {
    return m_stage.path() + (m_mode == Mode::PackageRoot ? u"/usr/"_s : u"/"_s);
}

bool StagedInstall::install() {
    if (!m_stage.isValid()) {
        m_error = m_stage.errorString();
        return false;
    }
    QProcess cmake;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (m_mode == Mode::PackageRoot)
        env.insert(u"DESTDIR"_s, m_stage.path());
    else
        env.remove(u"DESTDIR"_s);
    cmake.setProcessEnvironment(env);
    cmake.setProcessChannelMode(QProcess::MergedChannels);
    cmake.start(m_cmake, {u"--install"_s, m_build, u"--prefix"_s,
                          m_mode == Mode::PackageRoot ? u"/usr"_s : m_stage.path()});
    // A full install copies every program of the build; on a loaded machine that takes a while.
    const bool finished = cmake.waitForFinished(60000);
    const QByteArray said = cmake.readAll();
    if (!finished || cmake.exitStatus() != QProcess::NormalExit || cmake.exitCode() != 0) {
        m_error =
            u"cmake --install failed: "_s + (finished ? QString::fromLocal8Bit(said) : cmake.errorString());
        return false;
    }
    return true;
}
