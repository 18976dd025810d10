#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;

struct LinkParameters;

/// The options beside the design's own: confirmed delivery of outbox files, its time and whether
/// a host's packet acknowledges, the largest outbox file, when a
/// waiting file is worth a warning, and how many frames the inspector keeps. It edits them in
/// place in the value it is given, which the settings file and the link read; its controls carry
/// the names the settings file stores them under.
class ExtraSettingsDialog : public QDialog {
    Q_OBJECT
public:
    ExtraSettingsDialog(LinkParameters& values, QWidget* parent = nullptr);

    QCheckBox* confirmedDelivery() const { return m_confirmed; }
    QLineEdit* confirmationSeconds() const { return m_confirmationSeconds; }
    QCheckBox* packetAcknowledges() const { return m_packetAcknowledges; }
    QLineEdit* sizeLimit() const { return m_sizeLimit; }
    QLineEdit* warningSeconds() const { return m_warningSeconds; }
    QLineEdit* inspectorFrames() const { return m_inspectorFrames; }

private:
    QCheckBox* m_confirmed;
    QLineEdit* m_confirmationSeconds;
    QCheckBox* m_packetAcknowledges;
    QLineEdit* m_sizeLimit;
    QLineEdit* m_warningSeconds;
    QLineEdit* m_inspectorFrames;
};
