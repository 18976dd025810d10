#include "common/datafolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

QString executableFolder() {
    QString folder = QCoreApplication::applicationDirPath();
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

DataFolders DataFolders::beside(const QString& executableFolder) {
    QString base = executableFolder;
    if (!base.endsWith(u'/'))
        base += u'/';
    DataFolders folders;
    folders.root = base + u"RVxMMCLIENT/"_s;
    folders.logs = folders.root + u"LOGS/"_s;
    folders.xml = folders.root + u"XML/"_s;
    return folders;
}

void DataFolders::create() const {
    for (const QString& path : {root, logs, xml}) {
        if (!QFileInfo(path).isDir())
            std::ignore =
                QDir().mkdir(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
}
