#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;

/// The options beside the design's own: confirmed delivery of outbox files and its time, when a
/// waiting file is worth a warning, and how many frames the inspector keeps. Its controls carry
/// the names the settings file stores them under; the link reads them afresh at every use.
class ExtraSettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit ExtraSettingsDialog(QWidget* parent = nullptr);

    QCheckBox* confirmedDelivery() const { return m_confirmed; }
    QLineEdit* confirmationSeconds() const { return m_confirmationSeconds; }
    QLineEdit* warningSeconds() const { return m_warningSeconds; }
    QLineEdit* inspectorFrames() const { return m_inspectorFrames; }

private:
    QCheckBox* m_confirmed;
    QLineEdit* m_confirmationSeconds;
    QLineEdit* m_warningSeconds;
    QLineEdit* m_inspectorFrames;
};
