#include "update/packagefile.h"

#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <system_error>

#include "common/wholefile.h"

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

using namespace Qt::Literals::StringLiterals;

namespace packagefile {

QString partialPath(const QString& finalPath) {
    const QFileInfo info(finalPath);
    return info.path() + u"/."_s + info.fileName() + u".part"_s;
}

Result<void> commit(const QString& partial, const QString& finalPath) {
    QFile file(partial);
    if (!file.open(QIODevice::ReadWrite))
        return Failure{0, file.errorString()};
#ifdef Q_OS_WIN
    const bool synced = _commit(file.handle()) == 0;
#else
    const bool synced = ::fsync(file.handle()) == 0;
#endif
    file.close();
    if (!synced)
        return Failure{0, u"Cannot write the download to the disk"_s};
    // One step that replaces: the name never shows half a file, nor none while an old one goes.
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(partial.toStdU16String()),
                            std::filesystem::path(finalPath.toStdU16String()), error);
    if (error)
        return Failure{error.value(), QString::fromLocal8Bit(error.message())};
#ifndef Q_OS_WIN
    // The rename is the folder's: without this a power cut can take the new name back.
    if (!wholefile::syncFolder(QFileInfo(finalPath).path()))
        return Failure{0, u"Cannot write the download to the disk"_s};
#endif
    return {};
}

} // namespace packagefile
