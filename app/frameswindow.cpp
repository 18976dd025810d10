#include "app/frameswindow.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include "common/prompts.h"
#include "engine/linkengine.h"
#include "frames/framelog.h"

using namespace Qt::Literals::StringLiterals;

namespace {

QString cutNotice(qsizetype hidden) {
    return u"\n\u2026 nog %1 bytes niet getoond"_s.arg(
        QLocale(QLocale::Dutch, QLocale::Netherlands).toString(hidden));
}

QPlainTextEdit* detailView(const QString& name, QWidget* parent) {
    auto* view = new QPlainTextEdit(parent);
    view->setObjectName(name);
    view->setReadOnly(true);
    view->setUndoRedoEnabled(false);
    view->setAccessibleName(name);
    view->setFont(QFont(u"Monospace"_s));
    return view;
}

} // namespace

FramesWindow::FramesWindow(LinkEngine& engine, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_engine(engine)
    , m_proxy(new QSortFilterProxyModel(this))
    , m_table(new QTableView(this))
    , m_filter(new QLineEdit(this))
    , m_hex(detailView(u"Bytes (hex)"_s, this))
    , m_payload(detailView(u"Inhoud"_s, this))
    , m_resend(new QPushButton(u"Opnieuw verzenden"_s, this)) {
    setObjectName(u"FrameInspecteur"_s);
    setWindowTitle(u"Frame-inspecteur"_s);
    resize(900, 560);

    m_proxy->setSourceModel(&engine.frames());
    m_proxy->setFilterKeyColumn(-1);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_table->setObjectName(u"framesTableView"_s);
    m_table->setAccessibleName(u"Frames"_s);
    m_table->setModel(m_proxy);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setWordWrap(false);

    m_filter->setObjectName(u"inspectorFilterLineEdit"_s);
    m_filter->setClearButtonEnabled(true);
    m_filter->setPlaceholderText(u"toon alleen frames met deze tekst"_s);
    auto* filterLabel = new QLabel(u"Filter:"_s, this);
    filterLabel->setBuddy(m_filter);
    connect(m_filter, &QLineEdit::textChanged, m_proxy, &QSortFilterProxyModel::setFilterFixedString);

    m_resend->setObjectName(u"resendButton"_s);
    m_resend->setEnabled(false);
    connect(m_resend, &QPushButton::clicked, this, &FramesWindow::resendSelected);

    auto* top = new QHBoxLayout;
    top->addWidget(filterLabel);
    top->addWidget(m_filter, 1);
    top->addWidget(m_resend);

    auto* hexLabel = new QLabel(u"Bytes (hex):"_s, this);
    hexLabel->setBuddy(m_hex);
    auto* payloadLabel = new QLabel(u"Inhoud:"_s, this);
    payloadLabel->setBuddy(m_payload);
    auto* details = new QWidget(this);
    auto* detailBox = new QHBoxLayout(details);
    detailBox->setContentsMargins(0, 0, 0, 0);
    auto* hexBox = new QVBoxLayout;
    hexBox->addWidget(hexLabel);
    hexBox->addWidget(m_hex);
    auto* payloadBox = new QVBoxLayout;
    payloadBox->addWidget(payloadLabel);
    payloadBox->addWidget(m_payload);
    detailBox->addLayout(hexBox, 1);
    detailBox->addLayout(payloadBox, 1);

    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(m_table);
    split->addWidget(details);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);

    auto* box = new QVBoxLayout(this);
    box->addLayout(top);
    box->addWidget(split, 1);

    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &FramesWindow::showSelected);
    connect(m_proxy, &QAbstractItemModel::rowsInserted, this, &FramesWindow::followNewest);
    connect(m_proxy, &QAbstractItemModel::modelReset, this, &FramesWindow::showSelected);
}

std::optional<std::uint64_t> FramesWindow::selectedSerial() const {
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return std::nullopt;
    return rows.first().data(FrameLog::SerialRole).value<quint64>();
}

// The newest frame comes into view as it arrives, unless the operator has scrolled away.
void FramesWindow::followNewest() {
    QScrollBar* bar = m_table->verticalScrollBar();
    if (bar->value() >= bar->maximum() - 1)
        m_table->scrollToBottom();
}

void FramesWindow::showSelected() {
    const std::optional<std::uint64_t> serial = selectedSerial();
    const FrameLog& frames = m_engine.frames();
    const FrameRecord* record = serial ? frames.find(*serial) : nullptr;
    m_resend->setEnabled(record != nullptr);
    if (!record) {
        m_hex->clear();
        m_payload->clear();
        return;
    }
    const QByteArray& bytes = record->bytes;
    QString hex = QString::fromLatin1(bytes.first(std::min(bytes.size(), kShownBytes)).toHex(' ').toUpper());
    if (bytes.size() > kShownBytes)
        hex += cutNotice(bytes.size() - kShownBytes);
    if (record->cut())
        hex += u"\n\u2026 "_s + FrameLog::cutText(*record);
    m_hex->setPlainText(hex);
    QString payload = frames.decodedPayload(*serial).value_or(QString());
    if (payload.size() > kShownBytes) {
        const qsizetype hidden = payload.size() - kShownBytes;
        payload.truncate(kShownBytes);
        payload += cutNotice(hidden);
    }
    if (record->cut())
        payload += u"\n\u2026 "_s + FrameLog::cutText(*record);
    m_payload->setPlainText(payload);
}

void FramesWindow::resendSelected() {
    // Taken before the question: while it is open, frames arrive and the rows move.
    const std::optional<std::uint64_t> serial = selectedSerial();
    if (!serial)
        return;
    if (!prompts::confirm(u"De inhoud van dit frame opnieuw verzenden, met de huidige instellingen voor "
                          u"de frames?"_s))
        return;
    if (const auto sent = m_engine.resend(*serial); !sent)
        prompts::warning(sent.message());
}
