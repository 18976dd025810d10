#pragma once

#include <QByteArrayView>
#include <QString>

/// What the update server announces in its update-information file. Every field may be empty.
struct UpdateInfo {
    QString DownloadFileURL;
    QString ReadmeFileURL;
    QString UpdatePageURL;
    QString Version;
    QString CRC32Hash;
    QString MD5Hash;
    QString SHA1Hash;
};

/// The section named after the running program: its file name cut before the first "."
/// ("RTCPIPCLIENT.exe" gives "RTCPIPCLIENT"; a name without "." is taken whole).
QString updateSectionName(const QString& executablePath);

/// Reads the keys of one section of an INI-style file. Section and key names match in any letter
/// case; the first occurrence of a key counts; a value loses the blanks around it and one pair of
/// enclosing quotes, and is cut to 2047 characters. Without a byte-order mark the bytes are
/// Windows-1252.
UpdateInfo readUpdateInfo(QByteArrayView bytes, const QString& section);
