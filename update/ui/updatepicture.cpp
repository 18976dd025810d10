#include "update/ui/updatepicture.h"

#include <QLinearGradient>
#include <QPainter>

using namespace Qt::Literals::StringLiterals;

QPixmap updatePicture(int width, int height) {
    QPixmap pixmap(width, height);
    QPainter p(&pixmap);
    QLinearGradient gradient(0, 0, 0, height);
    gradient.setColorAt(0, QColor(0, 0, 128));
    gradient.setColorAt(1, QColor(30, 90, 200));
    p.fillRect(pixmap.rect(), gradient);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(255, 204, 0));
    QFont font(u"DejaVu Sans"_s);
    font.setBold(true);
    font.setPixelSize(width / 2);
    p.setFont(font);
    p.drawText(QRect(0, 0, width, height * 2 / 3), Qt::AlignCenter, u"R"_s);
    font.setPixelSize(16);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(0, height * 2 / 3, width, height / 3), Qt::AlignHCenter | Qt::AlignTop, u"LiveUpdate"_s);
    return pixmap;
}
