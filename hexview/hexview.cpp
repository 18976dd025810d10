#include "hexview/hexview.h"

HexView::HexView(QWidget* parent)
    : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
}
