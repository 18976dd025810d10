#pragma once

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QPoint>
#include <chrono>
#include <optional>

#include "hexview/byteselection.h"
#include "hexview/bytesource.h"
#include "hexview/charencoding.h"
#include "hexview/hexlayout.h"
#include "hexview/readwindow.h"

class QMenu;
class QAction;
class QTimer;

/// Read-only hex view of a file of any size: 16 bytes a line as offset, hex digits and
/// characters. Only the read window (180,000 bytes) is held in memory; the file stays open
/// without a lock. The arithmetic lives in HexLayout, the texts in hexformat; this class paints,
/// scrolls and handles input.
class HexView : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr qint64 MaxCopyBytes = 16 * 1024 * 1024;

    explicit HexView(QWidget* parent = nullptr,
                     std::chrono::milliseconds dragScrollInterval = std::chrono::milliseconds(50),
                     std::chrono::milliseconds panInterval = std::chrono::milliseconds(100));
    ~HexView() override;

    /// Shows the file; true when it is shown. The file already shown is not read again.
    bool Open(const QString& fileName);
    /// Shows what source holds under name (a file, or any seekable device).
    bool openSource(ByteSource source, const QString& name);
    void closeFile();

    QString fileName() const { return m_fileName; }
    qint64 fileSize() const { return m_source.size(); }
    HexLayout layout() const;
    qint64 viewOffset() const { return m_viewOffset; }
    /// Sets the view offset by the general rule (within the file, on a line start).
    void setViewOffset(qint64 offset);
    int horizontalOffset() const;
    qint64 readWindowStart() const { return m_window.start(); }

    int cellWidth() const { return m_cellWidth; }
    int lineHeight() const { return m_lineHeight; }
    /// The pixel rectangle of cell in row, in viewport coordinates.
    QRect cellRect(int row, int cell) const;
    /// Rows drawn now (the partly visible bottom line included, lines past the file's end not).
    int drawnLineCount() const;
    /// The text of a drawn row, cell for cell; empty for a row not drawn.
    QString lineText(int row) const;
    /// The error shown instead of the lines, or empty.
    QString errorText() const { return m_errorText; }

    const ByteSelection& selection() const { return m_selection; }
    void setSelection(qint64 start, qint64 length);
    void selectAll();
    /// Selects the line at the last clicked position.
    void selectLine();

    CharEncoding encoding() const { return m_encoding; }
    void setEncoding(CharEncoding encoding);

    /// "Copy": the selection as text (at most 16 MiB of it); false when nothing was copied.
    bool copy();
    /// "Copy as hex".
    bool copyAsHex();

    QMenu* contextMenu() const { return m_menu; }
    QMenu* encodingMenu() const { return m_encodingMenu; }
    bool isPanning() const { return m_panning; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void buildMenus();
    void updateMetrics();
    void updateScrollBars();
    void scrollTo(qint64 offset);
    void moveLines(qint64 lines);
    void scrollHorizontally(int pixels);
    void onVerticalAction(int action);
    /// The byte under a viewport point; rows are kept within the drawn ones.
    std::optional<qint64> byteAt(QPoint pos) const;
    void dragScrollTick();
    void panTick();
    void endPan();
    void zoom(int direction);
    bool putOnClipboard(const QString& text);
    std::optional<QByteArray> readSelection();

    ByteSource m_source;
    QString m_fileName;
    ReadWindow m_window;
    qint64 m_viewOffset = 0;
    QString m_errorText;
    ByteSelection m_selection;
    CharEncoding m_encoding = CharEncoding::Latin1;
    int m_cellWidth = 8;
    int m_lineHeight = 16;
    int m_ascent = 12;

    bool m_dragging = false;
    QPoint m_pointer;
    QPoint m_lastClick;
    QElapsedTimer m_sinceDoubleClick;
    QTimer* m_dragTimer = nullptr;
    bool m_panning = false;
    QPoint m_panOrigin;
    QTimer* m_panTimer = nullptr;
    int m_wheelRest = 0;
    int m_wheelRestX = 0;

    QMenu* m_menu = nullptr;
    QMenu* m_encodingMenu = nullptr;
    QAction* m_copyAction = nullptr;
    QAction* m_copyHexAction = nullptr;
};
