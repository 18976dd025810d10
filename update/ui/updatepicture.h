#pragma once

#include <QPixmap>

/// The picture along the right edge of both update dialogs, drawn rather than shipped.
QPixmap updatePicture(int width, int height);
