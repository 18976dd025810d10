#pragma once

#include <QAbstractButton>
#include <QColor>

/// A caption with a round lamp before it. Lit and unlit are the checked states, so a click
/// flips it at once, as a lamp label does; whoever owns the state sets it back.
class LedLabel : public QAbstractButton {
    Q_OBJECT
public:
    explicit LedLabel(const QString& caption, QWidget* parent = nullptr);

    bool isLit() const { return isChecked(); }
    void setLit(bool lit) { setChecked(lit); }

    void setColors(QColor lit, QColor unlit);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_lit{255, 0, 0};
    QColor m_unlit{128, 0, 0};
};
