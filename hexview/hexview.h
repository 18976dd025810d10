#pragma once

#include <QAbstractScrollArea>

/// Read-only hex view of a file of any size.
class HexView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit HexView(QWidget* parent = nullptr);
};
