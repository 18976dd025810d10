#pragma once

#include <QString>
#include <QStringView>

/// Each UTF-16 code unit as upper-case hex of at least two digits followed by a blank:
/// SOH and "A" give "01 41 ", the euro sign gives "20AC ", an empty text gives "".
QString hexRender(QStringView text);
