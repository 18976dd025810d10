#pragma once

#include <QWidget>

class LinkEngine;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

/// A window of its own over the engine's frames: every frame received and sent, newest last,
/// with its verdicts; a filter; the selected frame whole (its bytes in hex and its payload
/// decoded); and "Opnieuw verzenden", which sends its payload again after a confirmation.
class FramesWindow : public QWidget {
    Q_OBJECT
public:
    /// Shown in full up to this many bytes of a frame; a larger one shows its start and says so.
    static constexpr qsizetype kShownBytes = qsizetype(1) << 20;

    explicit FramesWindow(LinkEngine& engine, QWidget* parent = nullptr);

    /// The row of the engine's frame table that is selected, or -1.
    int selectedRow() const;
    void resendSelected();

private:
    void showSelected();
    void followNewest();

    LinkEngine& m_engine;
    QSortFilterProxyModel* m_proxy;
    QTableView* m_table;
    QLineEdit* m_filter;
    QPlainTextEdit* m_hex;
    QPlainTextEdit* m_payload;
    QPushButton* m_resend;
};
