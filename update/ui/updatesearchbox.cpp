#include "update/ui/updatesearchbox.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

UpdateSearchBox::UpdateSearchBox(QWidget* parent)
    : QDialog(parent) {
    setObjectName(u"UpdateSearchBox"_s);
    setWindowTitle(u"Update controle"_s);
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(u"Zoeken naar een nieuwe versie..."_s, this);
    text->setObjectName(u"searchLabel"_s);
    layout->addWidget(text);
    m_cancelButton = new QPushButton(u"AFBREKEN"_s, this);
    m_cancelButton->setObjectName(u"searchCancelButton"_s);
    m_cancelButton->setDefault(true);
    layout->addWidget(m_cancelButton);
    connect(m_cancelButton, &QPushButton::clicked, this, &UpdateSearchBox::reject);
}

void UpdateSearchBox::reject() {
    m_cancelButton->setEnabled(false);
    emit cancelRequested();
    QDialog::reject();
}
