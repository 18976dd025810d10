#pragma once

#include <QString>

/// The folder of the running executable, with a trailing "/". Everything the program writes on
/// its own is named from it, never from the working directory. Only the application calls this;
/// libraries are handed their folders.
QString executableFolder();

/// "RVxMMCLIENT" beside the executable, with "LOGS" (traffic logs) and "XML" (archived packets).
/// Every path ends with "/".
struct DataFolders {
    QString root;
    QString logs;
    QString xml;

    static DataFolders beside(const QString& executableFolder);

    /// Creates each missing folder, one level at a time and in order; a folder that cannot be
    /// created is passed over, and the writes into it report their own failure later.
    void create() const;
};
