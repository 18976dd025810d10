#pragma once

#include <QDialog>

class QPushButton;

/// Shown while a check asks the update server, so the operator sees that "UPDATE CONTROLE"
/// works and can stop it: "AFBREKEN", Escape and the close box all cancel the check.
class UpdateSearchBox : public QDialog {
    Q_OBJECT
public:
    explicit UpdateSearchBox(QWidget* parent = nullptr);

    QPushButton* cancelButton() const { return m_cancelButton; }
    void reject() override;

signals:
    void cancelRequested();

private:
    QPushButton* m_cancelButton = nullptr;
};
