#include "app/extrasettingsdialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "engine/linkparameters.h"

using namespace Qt::Literals::StringLiterals;

namespace {

QLineEdit* numberEdit(const QString& name, const QString& text, int top, QWidget* parent) {
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(name);
    edit->setValidator(new QIntValidator(0, top, edit));
    edit->setMaximumWidth(90);
    return edit;
}

} // namespace

ExtraSettingsDialog::ExtraSettingsDialog(LinkParameters& values, QWidget* parent)
    : QDialog(parent) {
    setObjectName(u"ExtraInstellingen"_s);
    setWindowTitle(u"Extra instellingen"_s);
    const LinkParameters& d = values;
    m_confirmed = new QCheckBox(
        u"Bevestigd afleveren: een uitgaand bestand pas verwijderen na het ACK van de host"_s, this);
    m_confirmed->setObjectName(u"BevestigdAfleveren"_s);
    m_confirmed->setChecked(d.bevestigdAfleveren);
    m_confirmationSeconds = numberEdit(u"BevestigingsTijd"_s, d.bevestigingsTijd, 86400, this);
    m_packetAcknowledges = new QCheckBox(
        u"Een &pakket van de host (SOH, lengte, STX, inhoud, EOT) telt ook als bevestiging"_s, this);
    m_packetAcknowledges->setObjectName(u"PakketIsBevestiging"_s);
    m_packetAcknowledges->setChecked(d.pakketIsBevestiging);
    m_sizeLimit = numberEdit(u"MaxBestandsGrootte"_s, d.maxBestandsGrootte, 1 << 20, this);
    m_warningSeconds = numberEdit(u"WachtWaarschuwing"_s, d.wachtWaarschuwing, 86400, this);
    m_inspectorFrames = numberEdit(u"InspecteurAantal"_s, d.inspecteurAantal, 1000000, this);

    connect(m_confirmed, &QCheckBox::toggled, this, [&values](bool on) { values.bevestigdAfleveren = on; });
    connect(m_confirmationSeconds, &QLineEdit::textChanged, this,
            [&values](const QString& text) { values.bevestigingsTijd = text; });
    connect(m_packetAcknowledges, &QCheckBox::toggled, this,
            [&values](bool on) { values.pakketIsBevestiging = on; });
    connect(m_sizeLimit, &QLineEdit::textChanged, this,
            [&values](const QString& text) { values.maxBestandsGrootte = text; });
    connect(m_warningSeconds, &QLineEdit::textChanged, this,
            [&values](const QString& text) { values.wachtWaarschuwing = text; });
    connect(m_inspectorFrames, &QLineEdit::textChanged, this,
            [&values](const QString& text) { values.inspecteurAantal = text; });

    auto* form = new QFormLayout;
    form->addRow(m_confirmed);
    form->addRow(u"Wachten op het ACK (seconden):"_s, m_confirmationSeconds);
    form->addRow(m_packetAcknowledges);
    auto* sizeLabel = new QLabel(u"&Grootste uitgaand bestand (MiB):"_s, this);
    sizeLabel->setBuddy(m_sizeLimit);
    form->addRow(sizeLabel, m_sizeLimit);
    form->addRow(u"Waarschuwen als een bestand langer wacht dan (seconden):"_s, m_warningSeconds);
    form->addRow(u"Frames in de frame-inspecteur:"_s, m_inspectorFrames);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::accept);
    auto* box = new QVBoxLayout(this);
    box->addLayout(form);
    box->addWidget(buttons);
}
