#include "barewindow.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

QMainWindow* bareWindow() {
    auto* w = new QMainWindow;
    auto* tabs = new QTabWidget(w);
    auto* a = new QWidget;
    auto* al = new QVBoxLayout(a);
    for (int i = 0; i < 2; ++i)
        al->addWidget(new QLineEdit(u"x"_s));
    al->addWidget(new QPushButton(u"AAN / UIT"_s));
    al->addWidget(new QPushButton(u"UPDATE CONTROLE"_s));
    auto* b = new QWidget;
    auto* bl = new QVBoxLayout(b);
    for (int i = 0; i < 11; ++i)
        bl->addWidget(new QCheckBox(u"option"_s));
    bl->addWidget(new QLineEdit);
    auto* c = new QSplitter(Qt::Vertical);
    for (int i = 0; i < 3; ++i)
        c->addWidget(new QPlainTextEdit);
    tabs->addTab(a, u"Instellingen"_s);
    tabs->addTab(b, u"Parameters"_s);
    tabs->addTab(c, u"Communicatie"_s);
    tabs->addTab(new QWidget, u"Hex"_s);
    w->setCentralWidget(tabs);
    w->menuBar()->addMenu(u"Bestand"_s)->addAction(u"Bestand verzenden"_s);
    w->menuBar()->addMenu(u"SMS"_s)->addAction(u"SMS bericht verzenden"_s);
    w->resize(670, 540);
    return w;
}
