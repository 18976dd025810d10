#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include "common/result.h"
#include "settings/settingselement.h"

/// A settings file in memory: its header, the comments and processing instructions before the
/// root (kept as written, markup included) and the element tree.
struct SettingsDocument {
    QString version = QStringLiteral("1.0");
    QString encoding = QStringLiteral("iso-8859-1"); ///< empty: the header has no encoding
    bool standalone = false;
    QStringList prolog;
    SettingsElement root{QStringLiteral("Configuration"), {}, {}, {}};

    /// Element levels a file may nest, the root included; a deeper file is damaged.
    static constexpr int maxDepth = 256;

    /// Parses a file's bytes. A UTF-8 or UTF-16 byte-order mark selects that encoding; without
    /// one the bytes are Windows-1252, whatever the header's encoding says, because that is how
    /// toBytes() writes them. A file that is not well-formed XML, or nested deeper than
    /// maxDepth, is a failure.
    static Result<SettingsDocument> parse(QByteArrayView bytes);

    /// The file's exact bytes: the header, the prolog items, then one element per line indented
    /// two spaces a level, CR LF after every line, Windows-1252 without a byte-order mark. The
    /// five XML entities are escaped; a character above U+20AB, or one Windows-1252 cannot hold,
    /// becomes a "&#x..;" reference, so no character is lost on the way to disk. So do a CR, and
    /// in an attribute a line feed and a tab, which a reader would otherwise turn into LF or a blank.
    /// Names and prolog items take no references: a character there that Windows-1252 cannot
    /// hold (only a file with a byte-order mark brings one) is written as "_". A character XML
    /// cannot carry at all (a control character other than tab, LF and CR; U+FFFE, U+FFFF) is
    /// written as "?", as the ANSI conversion does, and half a surrogate pair as U+FFFD, so the
    /// file stays readable.
    QByteArray toBytes() const;

    friend bool operator==(const SettingsDocument&, const SettingsDocument&) = default;
};
