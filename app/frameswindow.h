#pragma once

#include <QWidget>
#include <cstdint>
#include <optional>

class LinkEngine;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

/// A window of its own over the engine's frames: every frame received and sent, newest last,
/// with its verdicts; a filter; the selected frame whole (its bytes in hex and its payload
/// decoded as the archive decodes it); and "Opnieuw verzenden", which sends its payload again
/// after a confirmation.
class FramesWindow : public QWidget {
    Q_OBJECT
public:
    /// Shown in full up to this many bytes of a frame; a larger one shows its start and says so.
    static constexpr qsizetype kShownBytes = qsizetype(1) << 20;

    explicit FramesWindow(LinkEngine& engine, QWidget* parent = nullptr);

    /// The serial of the selected frame in the engine's frame log, if one is selected.
    std::optional<std::uint64_t> selectedSerial() const;
    /// Takes the selected frame's serial, asks, and resends that frame: rows that move while
    /// the question is open change nothing.
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
