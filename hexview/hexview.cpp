#include "hexview/hexview.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <cstdlib>

#include "common/prompts.h"
#include "hexview/hexformatter.h"

Q_LOGGING_CATEGORY(lcHexView, "hexview")

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kLeftMargin = 2;
constexpr int kHorizontalStep = 200;
constexpr int kDragStepX = 20;
const QColor kHexBackground(236, 236, 236);
const QColor kNavy(0, 0, 128);
const QColor kBlue(0, 0, 255);
const QColor kSeparator(128, 128, 128);
const QColor kErrorColour(255, 0, 0);

QString viewerTitle() {
    return u"Viewer"_s;
}

} // namespace

HexView::HexView(QWidget* parent, std::chrono::milliseconds dragScrollInterval,
                 std::chrono::milliseconds panInterval)
    : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QFont font(u"Courier New"_s);
    // Where that face is missing, fontconfig falls back to a monospace one; the cell size is then
    // taken from what was actually found.
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(13);
    setFont(font);
    updateMetrics();

    m_dragTimer = new QTimer(this);
    m_dragTimer->setInterval(dragScrollInterval);
    connect(m_dragTimer, &QTimer::timeout, this, &HexView::dragScrollTick);
    m_panTimer = new QTimer(this);
    m_panTimer->setInterval(panInterval);
    connect(m_panTimer, &QTimer::timeout, this, &HexView::panTick);
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, &HexView::onVerticalAction);
    horizontalScrollBar()->setSingleStep(kHorizontalStep);
    buildMenus();
    updateScrollBars();
}

HexView::~HexView() = default;

void HexView::buildMenus() {
    m_menu = new QMenu(this);
    m_menu->setObjectName(u"hexViewMenu"_s);
    m_copyAction = m_menu->addAction(u"Copy"_s, this, [this] { std::ignore = copy(); });
    m_copyAction->setObjectName(u"copyAction"_s);
    m_copyHexAction = m_menu->addAction(u"Copy as hex"_s, this, [this] { std::ignore = copyAsHex(); });
    m_copyHexAction->setObjectName(u"copyAsHexAction"_s);
    m_menu->addSeparator();
    m_menu->addAction(u"Select line"_s, this, &HexView::selectLine)->setObjectName(u"selectLineAction"_s);
    m_menu->addAction(u"Select all"_s, this, &HexView::selectAll)->setObjectName(u"selectAllAction"_s);
    m_menu->addSeparator();
    QAction* encodings = m_menu->addAction(u"Encoding..."_s);
    encodings->setObjectName(u"encodingAction"_s);

    m_encodingMenu = new QMenu(this);
    m_encodingMenu->setObjectName(u"encodingMenu"_s);
    auto* group = new QActionGroup(m_encodingMenu);
    const std::pair<CharEncoding, QString> entries[] = {
        {CharEncoding::Latin1, u"ISO-8859-1 (Latin-1)"_s},
        {CharEncoding::Windows1252, u"Windows-1252"_s},
        {CharEncoding::Utf8, u"UTF-8"_s},
    };
    for (const auto& [encoding, text] : entries) {
        QAction* action = m_encodingMenu->addAction(text);
        action->setCheckable(true);
        action->setChecked(encoding == m_encoding);
        action->setData(int(encoding));
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, e = encoding] { setEncoding(e); });
    }
    connect(encodings, &QAction::triggered, this,
            [this] { m_encodingMenu->popup(viewport()->mapToGlobal(viewport()->rect().center())); });
}

bool HexView::Open(const QString& fileName) {
    const QString name = fileName.isEmpty() ? QString() : QFileInfo(fileName).absoluteFilePath();
    if (!m_fileName.isEmpty() && name == m_fileName)
        return true;
    closeFile();
    auto source = ByteSource::openFile(name.isEmpty() ? fileName : name);
    if (name.isEmpty() || !source) {
        qCInfo(lcHexView) << "cannot open" << fileName << (source ? QString() : source.message());
        prompts::error(u"Cannot open file: \"%1\""_s.arg(fileName), viewerTitle());
        return false;
    }
    return openSource(std::move(source).value(), name);
}

bool HexView::openSource(ByteSource source, const QString& name) {
    closeFile();
    m_source = std::move(source);
    m_fileName = name;
    horizontalScrollBar()->setValue(0);
    scrollTo(0);
    return true;
}

void HexView::closeFile() {
    endPan();
    m_dragTimer->stop();
    m_dragging = false;
    m_source = ByteSource();
    m_fileName.clear();
    m_window.clear();
    m_viewOffset = 0;
    m_errorText.clear();
    m_selection = ByteSelection();
    updateScrollBars();
    viewport()->update();
}

HexLayout HexView::layout() const {
    return HexLayout(m_source.size(), HexLayout::linesPerScreen(viewport()->height(), m_lineHeight));
}

void HexView::setViewOffset(qint64 offset) {
    scrollTo(layout().clampOffset(offset));
}

int HexView::horizontalOffset() const {
    return horizontalScrollBar()->value();
}

QRect HexView::cellRect(int row, int cell) const {
    return QRect(kLeftMargin + cell * m_cellWidth - horizontalOffset(), row * m_lineHeight, m_cellWidth,
                 m_lineHeight);
}

int HexView::drawnLineCount() const {
    if (!m_errorText.isEmpty() || !m_source.isOpen())
        return 0;
    const HexLayout l = layout();
    const qint64 left = (l.size() - m_viewOffset + HexLayout::BytesPerLine - 1) / HexLayout::BytesPerLine;
    return int(std::clamp<qint64>(left, 0, HexLayout::linesDrawn(l.lines())));
}

QString HexView::lineText(int row) const {
    if (row < 0 || row >= drawnLineCount())
        return {};
    const HexLayout l = layout();
    const qint64 line = m_viewOffset + qint64(row) * HexLayout::BytesPerLine;
    const qint64 n = std::min<qint64>(HexLayout::BytesPerLine, l.size() - line);
    const QByteArrayView bytes = m_window.slice(line, n);
    const qint64 from = line - m_window.start();
    return hexformat::lineText(l, line, bytes,
                               hexformat::charColumn(m_window.bytes(), from, bytes.size(), m_encoding));
}

void HexView::setSelection(qint64 start, qint64 length) {
    const qint64 size = m_source.size();
    start = std::clamp<qint64>(start, 0, size);
    m_selection.setRange(start, std::clamp<qint64>(length, 0, size - start));
    viewport()->update();
}

void HexView::selectAll() {
    setSelection(0, m_source.size());
}

void HexView::selectLine() {
    const auto byte = byteAt(m_lastClick);
    if (!byte)
        return;
    const qint64 line = *byte & ~qint64(HexLayout::BytesPerLine - 1);
    setSelection(line, HexLayout::BytesPerLine);
}

void HexView::setEncoding(CharEncoding encoding) {
    m_encoding = encoding;
    for (QAction* action : m_encodingMenu->actions())
        action->setChecked(action->data().toInt() == int(encoding));
    viewport()->update();
}

std::optional<QByteArray> HexView::readSelection() {
    auto bytes = m_source.read(m_selection.start(), std::min(m_selection.length(), MaxCopyBytes));
    if (!bytes) {
        qCInfo(lcHexView) << "read for copy failed:" << bytes.message();
        prompts::error(u"Cannot read file: \"%1\""_s.arg(m_fileName), viewerTitle());
        return std::nullopt;
    }
    return std::move(bytes).value();
}

bool HexView::copy() {
    if (m_selection.isEmpty())
        return false;
    const auto bytes = readSelection();
    return bytes && putOnClipboard(hexformat::copyText(*bytes, m_encoding));
}

bool HexView::copyAsHex() {
    if (m_selection.isEmpty())
        return false;
    const auto bytes = readSelection();
    return bytes && putOnClipboard(hexformat::hexList(*bytes));
}

bool HexView::putOnClipboard(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard)
        clipboard->setText(text);
    // The clipboard reports no failure of its own: what it hands back tells.
    if (!clipboard || clipboard->text() != text) {
        prompts::error(u"Cannot copy data to Clipboard"_s, viewerTitle());
        return false;
    }
    return true;
}

void HexView::updateMetrics() {
    const QFontMetrics metrics(font());
    m_cellWidth = std::max(1, metrics.horizontalAdvance(u'0'));
    m_lineHeight = std::max(1, metrics.lineSpacing());
    m_ascent = metrics.ascent();
}

void HexView::updateScrollBars() {
    const HexLayout l = layout();
    QScrollBar* v = verticalScrollBar();
    if (!m_source.isOpen()) {
        v->setRange(0, 0);
    } else {
        const int steps = l.scrollSteps();
        v->setRange(0, steps);
        const long double screen =
            static_cast<long double>(l.pageBytes()) * steps / std::max<qint64>(l.size(), 1);
        v->setPageStep(std::clamp(int(screen), 1, steps));
        v->setSingleStep(1);
        v->setValue(l.scrollValueFor(m_viewOffset));
    }
    QScrollBar* h = horizontalScrollBar();
    const int lineWidth = m_source.isOpen() ? kLeftMargin + l.cellCount() * m_cellWidth : 0;
    h->setRange(0, std::max(0, lineWidth - viewport()->width()));
    h->setPageStep(std::max(1, viewport()->width()));
}

void HexView::scrollTo(qint64 offset) {
    m_viewOffset = offset;
    if (m_source.isOpen()) {
        const bool failedBefore = !m_errorText.isEmpty();
        if (const auto read = m_window.ensure(m_source, m_viewOffset); !read) {
            m_errorText = u"Read error at offset %1"_s.arg(
                QString::number(m_viewOffset, 16).toUpper().rightJustified(layout().digits(), u'0'));
            qCInfo(lcHexView) << "read failed:" << read.message();
            updateScrollBars();
            viewport()->update();
            // One box per failure, not one per key press while it lasts.
            if (!failedBefore)
                prompts::error(u"Cannot read file: \"%1\""_s.arg(m_fileName), viewerTitle());
            return;
        }
        m_errorText.clear();
    }
    updateScrollBars();
    viewport()->update();
}

void HexView::moveLines(qint64 lines) {
    const HexLayout l = layout();
    const qint64 distance = lines * HexLayout::BytesPerLine;
    scrollTo(lines >= 0 ? l.down(m_viewOffset, distance) : l.up(m_viewOffset, -distance));
}

void HexView::scrollHorizontally(int pixels) {
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() + pixels);
}

void HexView::onVerticalAction(int action) {
    const HexLayout l = layout();
    QScrollBar* v = verticalScrollBar();
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
        moveLines(1);
        break;
    case QAbstractSlider::SliderSingleStepSub:
        moveLines(-1);
        break;
    case QAbstractSlider::SliderPageStepAdd:
        moveLines(std::max(l.lines(), 1));
        break;
    case QAbstractSlider::SliderPageStepSub:
        moveLines(-std::max(l.lines(), 1));
        break;
    case QAbstractSlider::SliderToMinimum:
        scrollTo(0);
        break;
    case QAbstractSlider::SliderToMaximum:
        scrollTo(l.lastPageOffset());
        break;
    case QAbstractSlider::SliderMove: {
        const int position = v->sliderPosition();
        scrollTo(l.offsetForScrollValue(position));
        v->setSliderPosition(position); // the thumb stays under the pointer
        return;
    }
    default:
        return;
    }
    v->setSliderPosition(layout().scrollValueFor(m_viewOffset));
}

void HexView::scrollContentsBy(int, int) {
    viewport()->update();
}

void HexView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void HexView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateMetrics();
        updateScrollBars();
        viewport()->update();
    }
}

std::optional<qint64> HexView::byteAt(QPoint pos) const {
    const qint64 size = m_source.size();
    if (size <= 0)
        return std::nullopt;
    const int rows = std::max(drawnLineCount(), 1);
    const int row = std::clamp(pos.y() < 0 ? -1 : pos.y() / m_lineHeight, 0, rows - 1);
    const int x = pos.x() - kLeftMargin + horizontalOffset();
    const int cell = x < 0 ? -1 : x / m_cellWidth;
    const qint64 offset = m_viewOffset + qint64(row) * HexLayout::BytesPerLine + layout().columnAtCell(cell);
    return std::clamp<qint64>(offset, 0, size - 1);
}

void HexView::keyPressEvent(QKeyEvent* event) {
    if (m_panning) {
        endPan();
        return;
    }
    const HexLayout l = layout();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Up:
        moveLines(-1);
        break;
    case Qt::Key_Down:
        moveLines(1);
        break;
    case Qt::Key_PageUp:
        moveLines(-std::max(l.lines(), 1));
        break;
    case Qt::Key_PageDown:
        moveLines(std::max(l.lines(), 1));
        break;
    case Qt::Key_Home:
        if (ctrl)
            scrollTo(0);
        else
            horizontalScrollBar()->setValue(0);
        break;
    case Qt::Key_End:
        if (ctrl)
            scrollTo(l.lastPageOffset());
        else
            horizontalScrollBar()->setValue(horizontalScrollBar()->maximum());
        break;
    case Qt::Key_Left:
        scrollHorizontally(-kHorizontalStep);
        break;
    case Qt::Key_Right:
        scrollHorizontally(kHorizontalStep);
        break;
    case Qt::Key_A:
        if (!ctrl)
            return QAbstractScrollArea::keyPressEvent(event);
        selectAll();
        break;
    case Qt::Key_C:
    case Qt::Key_Insert:
        if (!ctrl)
            return QAbstractScrollArea::keyPressEvent(event);
        std::ignore = copy();
        break;
    default:
        event->ignore();
        return;
    }
    event->accept();
}

void HexView::mousePressEvent(QMouseEvent* event) {
    if (m_panning) {
        endPan();
        return;
    }
    const QPoint pos = event->position().toPoint();
    m_lastClick = pos;
    m_pointer = pos;
    if (event->button() == Qt::MiddleButton) {
        m_panning = true;
        m_panOrigin = pos;
        viewport()->setMouseTracking(true);
        viewport()->setCursor(Qt::SizeAllCursor);
        m_panTimer->start();
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    setFocus(Qt::MouseFocusReason);
    const auto byte = byteAt(pos);
    if (m_sinceDoubleClick.isValid() && m_sinceDoubleClick.elapsed() < QApplication::doubleClickInterval()) {
        m_sinceDoubleClick.invalidate();
        selectLine();
        return;
    }
    if (!byte)
        return;
    if (event->modifiers() & Qt::ShiftModifier)
        m_selection.extendTo(*byte);
    else
        m_selection.anchorAt(*byte);
    m_dragging = true;
    viewport()->update();
}

void HexView::mouseMoveEvent(QMouseEvent* event) {
    m_pointer = event->position().toPoint();
    if (!m_dragging)
        return;
    if (const auto byte = byteAt(m_pointer)) {
        m_selection.extendTo(*byte);
        viewport()->update();
    }
    if (viewport()->rect().contains(m_pointer))
        m_dragTimer->stop();
    else if (!m_dragTimer->isActive())
        m_dragTimer->start();
}

void HexView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_dragging = false;
        m_dragTimer->stop();
    }
}

void HexView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (m_panning) {
        endPan();
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    m_lastClick = event->position().toPoint();
    const auto byte = byteAt(m_lastClick);
    if (!byte)
        return;
    const QByteArray& bytes = m_window.bytes();
    const auto [first, length] = hexformat::wordAround(bytes, *byte - m_window.start(), m_encoding);
    if (length > 0)
        setSelection(m_window.start() + first, length);
    m_dragging = false;
    m_sinceDoubleClick.start();
}

void HexView::dragScrollTick() {
    if (!m_dragging) {
        m_dragTimer->stop();
        return;
    }
    const QRect r = viewport()->rect();
    if (m_pointer.y() < r.top())
        moveLines(-1);
    else if (m_pointer.y() > r.bottom())
        moveLines(1);
    if (m_pointer.x() < r.left())
        scrollHorizontally(-kDragStepX);
    else if (m_pointer.x() > r.right())
        scrollHorizontally(kDragStepX);
    if (const auto byte = byteAt(m_pointer))
        m_selection.extendTo(*byte);
    viewport()->update();
}

void HexView::panTick() {
    const QPoint d = m_pointer - m_panOrigin;
    if (std::max(std::abs(d.x()), std::abs(d.y())) <= 16)
        return;
    if (std::abs(d.y()) >= std::abs(d.x()))
        moveLines(d.y() / 16);
    else
        scrollHorizontally(d.x() / 16 * 8);
}

void HexView::endPan() {
    if (!m_panning)
        return;
    m_panning = false;
    m_panTimer->stop();
    viewport()->setMouseTracking(false);
    viewport()->unsetCursor();
}

void HexView::wheelEvent(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    if (event->modifiers() & Qt::ControlModifier) {
        if (delta.y() != 0)
            zoom(delta.y() > 0 ? 1 : -1);
        event->accept();
        return;
    }
    const int lines = QApplication::wheelScrollLines();
    const bool sideways = (event->modifiers() & Qt::ShiftModifier) || (delta.y() == 0 && delta.x() != 0);
    // Fine-grained wheels send fractions of a notch; the rest waits for the next event.
    int& rest = sideways ? m_wheelRestX : m_wheelRest;
    rest += sideways ? (delta.y() != 0 ? delta.y() : delta.x()) : delta.y();
    const int notches = rest / 120;
    rest -= notches * 120;
    if (notches != 0) {
        if (sideways)
            scrollHorizontally(-notches * lines * m_cellWidth * 3);
        else
            moveLines(qint64(-notches) * lines);
    }
    event->accept();
}

void HexView::zoom(int direction) {
    QFont f = font();
    const int height = QFontMetrics(f).lineSpacing();
    const int start = qRound(QFontInfo(f).pointSizeF());
    for (int points = start + direction; points >= 1 && points <= 72; points += direction) {
        f.setPointSize(points);
        if (QFontMetrics(f).lineSpacing() != height) {
            setFont(f);
            return;
        }
    }
}

void HexView::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() == QContextMenuEvent::Mouse)
        m_lastClick = event->pos();
    m_copyAction->setEnabled(!m_selection.isEmpty());
    m_copyHexAction->setEnabled(!m_selection.isEmpty());
    m_menu->popup(event->globalPos());
}

void HexView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), palette().color(QPalette::Base));
    if (!m_errorText.isEmpty()) {
        p.setPen(kErrorColour);
        p.drawText(viewport()->rect(), Qt::AlignCenter, m_errorText);
        return;
    }
    const int rows = drawnLineCount();
    if (rows == 0)
        return;
    const HexLayout l = layout();
    p.setFont(font());
    const QColor text = palette().color(QPalette::Text);
    const QColor highlight = palette().color(QPalette::Highlight);
    const QColor highlightedText = palette().color(QPalette::HighlightedText);
    const QByteArray& window = m_window.bytes();
    const int W = m_cellWidth, H = m_lineHeight;
    const auto x = [&](int cell) {
        return kLeftMargin + cell * W - horizontalOffset();
    };
    for (int row = 0; row < rows; ++row) {
        const qint64 line = m_viewOffset + qint64(row) * HexLayout::BytesPerLine;
        const int y = row * H;
        const int baseline = y + m_ascent;
        p.setPen(text);
        p.drawText(QPoint(x(0), baseline), hexformat::offsetText(line, l.digits()));
        p.fillRect(QRect(x(l.hexAreaFirstCell()), y, (l.hexAreaEndCell() - l.hexAreaFirstCell()) * W, H),
                   kHexBackground);
        const QByteArrayView bytes = m_window.slice(line, std::min<qint64>(16, l.size() - line));
        const QString chars =
            hexformat::charColumn(window, line - m_window.start(), bytes.size(), m_encoding);
        for (int k = 0; k < bytes.size(); ++k) {
            const qint64 offset = line + k;
            const bool selected = m_selection.contains(offset);
            if (selected) {
                // Joined to the next selected byte of the same half, so a run reads as one block.
                const bool joined = k != 7 && k != 15 && m_selection.contains(offset + 1);
                p.fillRect(QRect(x(l.hexCell(k)), y, (joined ? 3 : 2) * W, H), highlight);
                p.fillRect(QRect(x(l.charCell(k)), y, W, H), highlight);
            }
            p.setPen(selected ? highlightedText : ((k / 2) % 2 ? kBlue : kNavy));
            p.drawText(QPoint(x(l.hexCell(k)), baseline),
                       hexformat::byteHex(static_cast<unsigned char>(bytes[k])));
            const QChar c = chars[k];
            if (c.isLowSurrogate())
                continue;
            p.setPen(selected ? highlightedText : text);
            if (c.isHighSurrogate() && k + 1 < chars.size())
                p.drawText(QPoint(x(l.charCell(k)), baseline), chars.mid(k, 2));
            else
                p.drawText(QPoint(x(l.charCell(k)), baseline), QString(c));
        }
        for (const int cell : {l.middleSeparatorCell(), l.rightSeparatorCell()})
            p.fillRect(QRect(x(cell) - 1, y, 2, H), kSeparator);
    }
}
