#include "app/ledlabel.h"

#include <QPainter>

LedLabel::LedLabel(const QString& caption, QWidget* parent)
    : QAbstractButton(parent) {
    setText(caption);
    setCheckable(true);
    setAccessibleName(caption);
    setFocusPolicy(Qt::TabFocus);
}

void LedLabel::setColors(QColor lit, QColor unlit) {
    m_lit = lit;
    m_unlit = unlit;
    update();
}

QSize LedLabel::sizeHint() const {
    const QFontMetrics fm = fontMetrics();
    const int lamp = fm.height();
    return {lamp + 6 + fm.horizontalAdvance(text()) + 4, lamp + 4};
}

void LedLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int lamp = fontMetrics().height();
    const QRectF circle(2, (height() - lamp) / 2.0, lamp, lamp);
    p.setPen(QPen(palette().color(QPalette::Dark), 1));
    p.setBrush(isLit() ? m_lit : m_unlit);
    p.drawEllipse(circle);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(QRect(lamp + 8, 0, width() - lamp - 8, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
}
