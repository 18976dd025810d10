#include "app/hoofdscherm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTextCursor>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/application.h"
#include "app/extrasettingsdialog.h"
#include "app/frameswindow.h"
#include "app/ledlabel.h"
#include "app/linkstatusbar.h"
#include "app/logmemo.h"
#include "app/logmemoedit.h"
#include "app/responsivewait.h"
#include "common/prompts.h"
#include "common/uncaught.h"
#include "engine/storedparameters.h"
#include "hexview/hexview.h"
#include "outbound/ui/tfsms.h"
#include "update/ui/appupdate.h"
#include "update/updateinfo.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// The same picture as the menu entry's, in every size the desktop may ask for. Decoded with the
// format named: finding it out from the contents would load every image-format plug-in first,
// and the window needs its icon before it is first shown.
// The sizes a title bar and a task bar use come first; the large ones, for switchers and docks,
// follow after the first frame: each is decoded and sent to the display with the window.
QIcon applicationIcon(bool large) {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        if (size > 48 && !large)
            continue;
        QImageReader reader(u":/icons/rtcpipclient-%1.png"_s.arg(size), "png");
        icon.addPixmap(QPixmap::fromImageReader(&reader));
    }
    return icon;
}

QLabel* heading(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

} // namespace

QString THoofdscherm::designCaption() {
    return u"Rovenka®  TCP/IP Cliënt"_s;
}

THoofdscherm::THoofdscherm(HoofdschermConfig config, QWidget* parent)
    : QMainWindow(parent)
    , m_config(std::move(config))
    , m_settings(m_config.executableFolder, mainSettingsFileName(), u"Hoofdscherm"_s)
    , m_extraSettingsStore(m_config.executableFolder, extraSettingsFileName(), u"Hoofdscherm"_s) {
    setObjectName(u"Hoofdscherm"_s);
    setWindowTitle(designCaption());
    setWindowIcon(applicationIcon(false));
    setFont(QFont(u"Tahoma"_s, 8));

    m_engine = new LinkEngine(
        {.executableFolder = m_config.executableFolder,
         .generalInterval = m_config.generalInterval,
         .reconnectInterval = m_config.reconnectInterval,
         .fileCheckerInterval = m_config.fileCheckerInterval,
         .clock = m_config.clock,
         .connectLimit = m_config.connectLimit,
         .sendLimit = m_config.sendLimit,
         .deadLink = m_config.deadLink},
        [this] { return parameters(); }, this);
    m_wait = new ResponsiveWait(this);
    m_engine->setWaitHook(m_wait);

    m_pages = new QTabWidget(this);
    m_pages->setObjectName(u"PageControl1"_s);
    m_pages->addTab(buildConnectionTab(), u"Instellingen"_s);
    m_pages->addTab(buildParametersTab(), u"Parameters"_s);
    m_pages->addTab(buildCommunicationTab(), u"Communicatie"_s);
    m_pages->addTab(buildHexTab(), u"Hex"_s);
    m_pages->setCurrentIndex(0);
    setCentralWidget(m_pages);
    buildMenus();

    new LinkStatusBar(*m_engine, statusBar(), m_config.clock);
    statusBar()->setSizeGripEnabled(true);
    connect(m_engine, &LinkEngine::lampLit, m_verbindingLed, &LedLabel::setLit);
    connect(m_engine, &LinkEngine::onOffLit, m_aanUitButton, &QPushButton::setChecked);
    m_engine->setOwnFiles(ownSettingsFiles(m_config.executableFolder));
    connect(m_Button1, &QPushButton::clicked, this, uncaught::guarded([this] { Button1Click(); }));
    connect(m_aanUitButton, &QPushButton::clicked, this, uncaught::guarded([this] { AanUitClick(); }));

    FormCreate();

    resize(670, 521 + menuBar()->sizeHint().height());
    buildTrayIcon();
    m_wait->addStopControl(m_aanUitButton);
    m_wait->setMainWindow(this);
    m_wait->addQuitAction(m_Afsluiten1);
    m_engine->start();
    // Runs once the event loop does, which is after the window has been mapped.
    QMetaObject::invokeMethod(this, &THoofdscherm::completeAfterFirstFrame, Qt::QueuedConnection);
}

void THoofdscherm::completeAfterFirstFrame() {
    // The desktop's icon theme is read at the first standard icon, a few milliseconds that the
    // first frame need not wait for: none of these pictures is on screen before a menu opens.
    QStyle* s = style();
    for (const auto& [action, picture] : std::as_const(m_actionIcons))
        action->setIcon(s->standardIcon(picture));
    m_actionIcons.clear();
    m_AutoLocatieBrowse->setIcon(s->standardIcon(QStyle::SP_DirOpenIcon));
    setWindowIcon(applicationIcon(true));
    if (m_trayIcon && QSystemTrayIcon::isSystemTrayAvailable())
        m_trayIcon->show();
    // Fonts, layouts and pictures of the first frames leave freed heap behind; a program that
    // runs for weeks should not keep it.
    QTimer::singleShot(std::chrono::seconds(1), this, &Application::releaseFreedMemory);
}

void THoofdscherm::buildFilterBar() {
    auto* filterBar = new QToolBar(u"Filter"_s, this);
    filterBar->setObjectName(u"FilterBalk"_s);
    filterBar->setMovable(false);
    auto* filterLabel = new QLabel(u"Filter Inkomend:"_s, filterBar);
    m_filterEdit = new QLineEdit(filterBar);
    m_filterEdit->setObjectName(u"filterLineEdit"_s);
    m_filterEdit->setClearButtonEnabled(true);
    m_filterEdit->setPlaceholderText(u"toon alleen regels met deze tekst"_s);
    filterLabel->setBuddy(m_filterEdit);
    filterBar->addWidget(filterLabel);
    filterBar->addWidget(m_filterEdit);
    addToolBar(Qt::TopToolBarArea, filterBar);
    connect(m_filterEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (m_FilterTonen->isChecked())
            m_memos[0]->setFilter(text);
    });
    // Hidden another way (the window's tool bar menu), the menu item follows.
    connect(filterBar, &QToolBar::visibilityChanged, m_FilterTonen, [this](bool visible) {
        if (!visible && isVisible())
            m_FilterTonen->setChecked(false);
    });
}

ExtraSettingsDialog& THoofdscherm::extraSettings() {
    if (!m_extraSettings)
        m_extraSettings = new ExtraSettingsDialog(m_stored, this);
    return *m_extraSettings;
}

FramesWindow& THoofdscherm::frameInspector() {
    if (!m_inspector)
        m_inspector = new FramesWindow(*m_engine, this);
    return *m_inspector;
}

LinkParameters THoofdscherm::parameters() const {
    LinkParameters p;
    p.host = m_edtHost->text();
    p.portText = m_edtPoort->text();
    p.soh = m_SOH->isChecked();
    p.stx = m_STX->isChecked();
    p.eot = m_EOT->isChecked();
    p.toonHex = m_ToonHex->isChecked();
    p.logbewaren = m_Logbewaren->isChecked();
    p.xmlBestandenBewaren = m_XMLBestandenBewaren->isChecked();
    p.enc64verzenden = m_enc64verzenden->isChecked();
    p.enc64ontvangst = m_enc64ontvangst->isChecked();
    p.autoConnect = m_AutoConnect->isChecked();
    p.ackDisconnect = m_ACKDisconnect->isChecked();
    p.autoBestanden = m_AutoBestanden->isChecked();
    p.autoLocatie = m_AutoLocatie->text();
    p.bevestigdAfleveren = m_stored.bevestigdAfleveren;
    p.bevestigingsTijd = m_stored.bevestigingsTijd;
    p.pakketIsBevestiging = m_stored.pakketIsBevestiging;
    p.maxBestandsGrootte = m_stored.maxBestandsGrootte;
    p.wachtWaarschuwing = m_stored.wachtWaarschuwing;
    p.inspecteurAantal = m_stored.inspecteurAantal;
    p.tijdInLogboeken = m_TijdInLogboeken->isChecked();
    p.tijdInLogbestanden = m_TijdInLogbestanden->isChecked();
    return p;
}

THoofdscherm::~THoofdscherm() {
    // While the controls still exist; the stores write their files as they go.
    m_settings.saveIfNeeded();
    m_extraSettingsStore.saveIfNeeded();
}

QList<StoredProp> THoofdscherm::windowProps(const QList<MainSetting>& settings) {
    // In the table's order, which is the file's: a control of the window where there is one,
    // else the value the window keeps for it.
    QList<StoredProp> props;
    for (const MainSetting& setting : settings) {
        const QList<StoredProp> control = StoredProp::fromObjects(
            this, {{setting.control, setting.property,
                    setting.isBoolean() ? StoredProp::Kind::Boolean : StoredProp::Kind::Text,
                    setting.isBoolean() ? "checked" : "text"}});
        props.append(control.isEmpty() ? boundProp(setting, m_stored) : control.first());
    }
    return props;
}

void THoofdscherm::FormCreate() {
    m_engine->dataFolders().create();
    m_versionInfo.setFileName(m_config.executableFile);
    m_versionInfo.Read();
    m_engine->setLinkReady(false);
    setWindowTitle(designCaption() + u" - v"_s + runningVersion());
    m_AutoLocatie->setText(m_config.executableFolder);
    // Step 6: stored values replace the defaults just set.
    m_settings.setStoredProps(windowProps(mainSettings()));
    m_settings.Restore();
    // The extra options an older main file still holds come over into their own file, whose
    // values win where it has them; the main file is written without them from now on.
    const QList<StoredProp> extra = windowProps(::extraSettings());
    m_settings.takeMoved(extra);
    m_extraSettingsStore.setStoredProps(extra);
    m_extraSettingsStore.Restore();
    for (const SettingsStore* store : {&m_settings, &m_extraSettingsStore})
        if (!store->problem().isEmpty())
            logs().incoming().add(store->problem());
    m_AppUpdate = new AppUpdate(m_config.executableFolder, updateSectionName(m_config.executableFile),
                                m_config.clock, this);
    QFont updateFont(u"Segoe UI"_s);
    updateFont.setPixelSize(12);
    m_AppUpdate->setFont(updateFont);
    QFont readmeFont(u"Calibri"_s);
    readmeFont.setPixelSize(12);
    m_AppUpdate->setFontReadme(readmeFont);
    m_AppUpdate->setUpdateFileURL(AppUpdate::defaultUpdateFileURL());
    m_AppUpdate->setUpdatePageURL(AppUpdate::defaultUpdatePageURL());
    connect(m_AppUpdate, &AppUpdate::applicationEndRequested, this, [this] {
        // The hand-over ends the program without the close query: no log flush on this road.
        m_endWithoutCloseQuery = true;
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                  Qt::QueuedConnection);
    });
    m_AppUpdate->setVersion(runningVersion());
}

QString THoofdscherm::outboxFolder() const {
    return m_AutoLocatie->text();
}

QWidget* THoofdscherm::buildConnectionTab() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);

    m_verbindingLed = new LedLabel(u"Verbinding"_s, page);
    m_verbindingLed->setObjectName(u"VerbindingLed"_s);
    m_verbindingLed->setColors(QColor(255, 0, 0), QColor(128, 0, 0));
    grid->addWidget(m_verbindingLed, 0, 0, 1, 2);

    auto* hostLabel = new QLabel(u"Host"_s, page);
    const LinkParameters defaults;
    m_edtHost = new QLineEdit(defaults.host, page);
    m_edtHost->setObjectName(u"edtHost"_s);
    hostLabel->setBuddy(m_edtHost);
    grid->addWidget(hostLabel, 1, 0);
    grid->addWidget(m_edtHost, 1, 1);

    auto* portLabel = new QLabel(u"Poort"_s, page);
    m_edtPoort = new QLineEdit(defaults.portText, page);
    m_edtPoort->setObjectName(u"edtPoort"_s);
    portLabel->setBuddy(m_edtPoort);
    grid->addWidget(portLabel, 2, 0);
    grid->addWidget(m_edtPoort, 2, 1);

    m_aanUitButton = new QPushButton(u"AAN / UIT"_s, page);
    m_aanUitButton->setObjectName(u"aanUitButton"_s);
    m_aanUitButton->setCheckable(true);
    QFont bold = m_aanUitButton->font();
    bold.setBold(true);
    m_aanUitButton->setFont(bold);
    m_aanUitButton->setMinimumHeight(32);
    // A palette, not a style sheet: style sheets cost the window a noticeable part of its start-up.
    connect(m_aanUitButton, &QPushButton::toggled, m_aanUitButton, [button = m_aanUitButton](bool lit) {
        QPalette palette = button->parentWidget()->palette();
        if (lit) {
            palette.setColor(QPalette::Button, QColor(255, 0, 0));
            palette.setColor(QPalette::ButtonText, Qt::white);
        }
        button->setPalette(palette);
    });
    grid->addWidget(m_aanUitButton, 3, 0, 1, 2);

    m_updateButton = new QPushButton(u"UPDATE CONTROLE"_s, page);
    m_updateButton->setObjectName(u"SpeedButton4"_s);
    connect(m_updateButton, &QPushButton::clicked, this, uncaught::guarded([this] { SpeedButton4Click(); }));
    grid->addWidget(m_updateButton, 4, 0, 1, 2);

    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 2);
    grid->setRowStretch(5, 1);
    return page;
}

QWidget* THoofdscherm::buildParametersTab() {
    auto* page = new QWidget;
    auto* box = new QVBoxLayout(page);
    const auto option = [page, box](QCheckBox*& member, const char16_t* name, const QString& caption,
                                    bool checked) {
        member = new QCheckBox(caption, page);
        member->setObjectName(QString::fromUtf16(name));
        member->setChecked(checked);
        box->addWidget(member);
    };

    const LinkParameters d;
    box->addWidget(heading(u"CONTROLE KARAKTERS"_s, page));
    option(m_SOH, u"SOH", u"sOH karakter verzenden"_s, d.soh);
    option(m_STX, u"STX", u"sTx karakter + pakketlengte verzenden"_s, d.stx);
    option(m_EOT, u"EOT", u"eOT karakter verzenden"_s, d.eot);
    box->addWidget(heading(u"LOGBOEKEN"_s, page));
    option(m_ToonHex, u"ToonHex", u"Toon HEX waarden in logboeken"_s, d.toonHex);
    option(m_Logbewaren, u"Logbewaren", u"Logboeken bewaren op schijf"_s, d.logbewaren);
    box->addWidget(heading(u"XML"_s, page));
    option(m_XMLBestandenBewaren, u"XMLBestandenBewaren", u"Ontvangen pakket als XML bestand bewaren"_s,
           d.xmlBestandenBewaren);
    box->addWidget(heading(u"CODERING"_s, page));
    option(m_enc64verzenden, u"enc64verzenden", u"Verstuur pakket BASE64 gecodeerd"_s, d.enc64verzenden);
    option(m_enc64ontvangst, u"enc64ontvangst", u"Ontvang pakket BASE64 gecodeerd"_s, d.enc64ontvangst);
    box->addWidget(heading(u"TCP/IP CONTROLE (15 seconden interval)"_s, page));
    option(m_AutoConnect, u"AutoConnect", u"Automatisch verbroken verbinding opbouwen"_s, d.autoConnect);
    option(m_ACKDisconnect, u"ACKDisconnect", u"Verbinding verbreken na ontvangst ACK bericht"_s,
           d.ackDisconnect);
    auto* filesHeading = heading(u"BESTANDEN VERZENDEN"_s, page);
    box->addWidget(filesHeading);
    option(m_AutoBestanden, u"AutoBestanden", u"Automatisch bestanden verzenden"_s, d.autoBestanden);

    auto* folderRow = new QHBoxLayout;
    m_AutoLocatie = new QLineEdit(page);
    m_AutoLocatie->setObjectName(u"AutoLocatie"_s);
    m_AutoLocatie->setAccessibleName(u"BESTANDEN VERZENDEN"_s);
    filesHeading->setBuddy(m_AutoLocatie);
    m_AutoLocatieBrowse = new QToolButton(page);
    m_AutoLocatieBrowse->setObjectName(u"AutoLocatieBrowseButton"_s);
    m_AutoLocatieBrowse->setToolTip(u"Selecteer een directory"_s);
    m_AutoLocatieBrowse->setAccessibleName(u"Selecteer een directory"_s);
    connect(m_AutoLocatieBrowse, &QToolButton::clicked, this, &THoofdscherm::chooseOutboxFolder);
    folderRow->addWidget(m_AutoLocatie, 1);
    folderRow->addWidget(m_AutoLocatieBrowse);
    box->addLayout(folderRow);
    box->addStretch(1);
    return page;
}

QWidget* THoofdscherm::buildCommunicationTab() {
    auto* page = new QWidget;
    auto* box = new QVBoxLayout(page);
    auto* splitter = new QSplitter(Qt::Vertical, page);
    splitter->setChildrenCollapsible(false);
    m_Inkomend = new LogMemoEdit(splitter);
    m_Inkomend->setObjectName(u"Inkomend"_s);
    m_Uitgaand = new LogMemoEdit(splitter);
    m_Uitgaand->setObjectName(u"Uitgaand"_s);
    m_Status = new LogMemoEdit(splitter);
    m_Status->setObjectName(u"Status"_s);
    m_memos = {new LogMemo(logs().incoming(), m_Inkomend), new LogMemo(logs().outgoing(), m_Uitgaand),
               new LogMemo(logs().status(), m_Status)};
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setStretchFactor(2, 0);
    splitter->setSizes({145, 200, 103});
    box->addWidget(splitter, 1);

    auto* panel = new QHBoxLayout;
    auto* label = new QLabel(u"Pakket:"_s, page);
    m_edtPakket = new QLineEdit(page);
    m_edtPakket->setObjectName(u"edtPakket"_s);
    label->setBuddy(m_edtPakket);
    m_Button1 = new QPushButton(u"Verzenden"_s, page);
    m_Button1->setObjectName(u"Button1"_s);
    panel->addWidget(label);
    panel->addWidget(m_edtPakket, 1);
    panel->addWidget(m_Button1);
    box->addLayout(panel);
    return page;
}

QWidget* THoofdscherm::buildHexTab() {
    auto* page = new QWidget;
    auto* box = new QVBoxLayout(page);
    m_hexView = new HexView(page);
    m_hexView->setObjectName(u"HexView1"_s);
    box->addWidget(m_hexView, 1);
    auto* panel = new QHBoxLayout;
    m_Button2 = new QPushButton(u"Open bestand"_s, page);
    m_Button2->setObjectName(u"Button2"_s);
    connect(m_Button2, &QPushButton::clicked, this, &THoofdscherm::Button2Click);
    panel->addWidget(m_Button2);
    panel->addStretch(1);
    box->addLayout(panel);
    return page;
}

void THoofdscherm::buildMenus() {
    QMenu* bestand = menuBar()->addMenu(u"Bestand"_s);
    bestand->setObjectName(u"Bestand1"_s);
    QAction* send = bestand->addAction(u"Bestand verzenden"_s);
    send->setObjectName(u"Bestandverzenden1"_s);
    m_actionIcons.append({send, QStyle::SP_FileIcon});
    connect(send, &QAction::triggered, this, uncaught::guarded([this] { Bestandverzenden1Click(); }));
    bestand->addSeparator();
    QAction* hide = bestand->addAction(u"Toepassing verbergen"_s);
    hide->setObjectName(u"Sluiten1"_s);
    m_actionIcons.append({hide, QStyle::SP_TitleBarMinButton});
    connect(hide, &QAction::triggered, this, &THoofdscherm::Sluiten1Click);

    QMenu* sms = menuBar()->addMenu(u"SMS"_s);
    sms->setObjectName(u"SMS1"_s);
    QAction* smsSend = sms->addAction(u"SMS bericht verzenden"_s);
    smsSend->setObjectName(u"SMSberichtverzenden1"_s);
    m_actionIcons.append({smsSend, QStyle::SP_MessageBoxInformation});
    connect(smsSend, &QAction::triggered, this, &THoofdscherm::SMSberichtverzenden1Click);

    // What is new beside the design lives here, after its menus.
    QMenu* view = menuBar()->addMenu(u"Beeld"_s);
    view->setObjectName(u"BeeldMenu"_s);
    m_TijdInLogboeken = view->addAction(u"Tijd tonen in logboeken"_s);
    m_TijdInLogboeken->setObjectName(u"TijdInLogboeken"_s);
    m_TijdInLogboeken->setCheckable(true);
    connect(m_TijdInLogboeken, &QAction::toggled, this, [this](bool on) {
        for (LogMemo* memo : std::as_const(m_memos))
            memo->setShowTimes(on);
    });
    m_TijdInLogbestanden = view->addAction(u"Tijd ook in logbestanden"_s);
    m_TijdInLogbestanden->setObjectName(u"TijdInLogbestanden"_s);
    m_TijdInLogbestanden->setCheckable(true);
    view->addSeparator();
    QAction* inspector = view->addAction(u"Frame-inspecteur"_s);
    inspector->setObjectName(u"FrameInspecteurTonen"_s);
    connect(inspector, &QAction::triggered, this, [this] {
        FramesWindow& window = frameInspector();
        window.show();
        window.raise();
        window.activateWindow();
    });
    QAction* extra = view->addAction(u"Extra instellingen…"_s);
    extra->setObjectName(u"ExtraInstellingenTonen"_s);
    connect(extra, &QAction::triggered, this, [this] { extraSettings().exec(); });
    view->addSeparator();

    // The bar is made when first shown: nothing of it is needed for the first frame.
    m_FilterTonen = view->addAction(u"Filter Inkomend"_s);
    m_FilterTonen->setObjectName(u"FilterTonen"_s);
    m_FilterTonen->setCheckable(true);
    connect(m_FilterTonen, &QAction::toggled, this, [this](bool shown) {
        if (shown && !m_filterEdit)
            buildFilterBar();
        if (m_filterEdit) {
            m_filterEdit->parentWidget()->setVisible(shown);
            if (shown)
                m_filterEdit->setFocus();
        }
        // A hidden filter filters nothing: the operator must see why lines are missing.
        m_memos[0]->setFilter(shown && m_filterEdit ? m_filterEdit->text() : QString());
    });
}

void THoofdscherm::buildTrayIcon() {
    // The tray menu exists even where no tray is shown, so its actions stay reachable in tests.
    auto* menu = new QMenu(this);
    menu->setObjectName(u"PopupMenu1"_s);
    QAction* sms = menu->addAction(u"SMS verzenden"_s);
    sms->setObjectName(u"SMSverzenden1"_s);
    m_actionIcons.append({sms, QStyle::SP_MessageBoxInformation});
    connect(sms, &QAction::triggered, this, &THoofdscherm::SMSverzenden1Click);
    menu->addSeparator();
    QAction* details = menu->addAction(u"Details"_s);
    details->setObjectName(u"Details1"_s);
    m_actionIcons.append({details, QStyle::SP_ComputerIcon});
    connect(details, &QAction::triggered, this, &THoofdscherm::Details1Click);
    menu->addSeparator();
    m_Afsluiten1 = menu->addAction(u"Afsluiten"_s);
    m_Afsluiten1->setObjectName(u"Afsluiten1"_s);
    m_actionIcons.append({m_Afsluiten1, QStyle::SP_DialogCloseButton});
    connect(m_Afsluiten1, &QAction::triggered, this, &THoofdscherm::Afsluiten1Click);

    if (!m_config.trayIcon)
        return;
    m_trayIcon = new QSystemTrayIcon(windowIcon(), this);
    m_trayIcon->setObjectName(u"TrayIcon1"_s);
    m_trayIcon->setToolTip(designCaption());
    m_trayIcon->setContextMenu(menu);
    // Trays that speak the StatusNotifierItem protocol report a click as Trigger and never a
    // double click; on the others a double click comes after a Trigger. Both show the window.
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger)
            TrayIcon1DblClick();
    });
    // Shown by completeAfterFirstFrame: asking the desktop for its tray is a round trip.
}

void THoofdscherm::chooseOutboxFolder() {
    if (const auto folder = prompts::chooseFolder(u"Selecteer een directory"_s, m_AutoLocatie->text()))
        m_AutoLocatie->setText(*folder);
}

void THoofdscherm::reportUncaught(const QString& message) {
    m_engine->reportUncaught(message);
}

void THoofdscherm::Sluiten1Click() {
    // Without a tray icon to bring it back, a hidden window would be lost while the program
    // goes on sending: it is minimised instead, and stays on the task bar.
    if (m_trayIcon && m_trayIcon->isVisible() && QSystemTrayIcon::isSystemTrayAvailable())
        hide();
    else
        showMinimized();
}

void THoofdscherm::Details1Click() {
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void THoofdscherm::TrayIcon1DblClick() {
    Details1Click();
}

void THoofdscherm::Afsluiten1Click() {
    close();
}

void THoofdscherm::SMSberichtverzenden1Click() {
    if (m_smsDialog)
        m_smsDialog->exec();
}

void THoofdscherm::SMSverzenden1Click() {
    SMSberichtverzenden1Click();
}

void THoofdscherm::SpeedButton4Click() {
    std::ignore = m_AppUpdate->CheckForUpdate(false);
}

void THoofdscherm::Button2Click() {
    if (const auto file = prompts::openFile(u"Selecteer bestand"_s))
        std::ignore = m_hexView->Open(*file);
}

void THoofdscherm::GeneralTimer() {
    m_engine->generalTick();
}

void THoofdscherm::Timer1Timer() {
    m_engine->reconnectTick();
}

// The on/off button: errors of the connected test reach the error hook.
void THoofdscherm::AanUitClick() {
    m_engine->onOff();
}

void THoofdscherm::Button1Click() {
    if (m_engine->sendTyped(m_edtPakket->text()))
        m_edtPakket->clear();
}

void THoofdscherm::Bestandverzenden1Click() {
    m_engine->sendChosenFile();
}

void THoofdscherm::FileCheckerTimer() {
    m_engine->fileCheckerTick();
}

bool THoofdscherm::FormCloseQuery() {
    if (const auto flushed = m_engine->flushLogs(); !flushed) {
        // A log that cannot be saved keeps the window open; the message goes where uncaught
        // errors go, replacing the incoming log.
        reportUncaught(flushed.message());
        return false;
    }
    return true;
}

void THoofdscherm::closeEvent(QCloseEvent* event) {
    if (m_endWithoutCloseQuery) {
        event->accept();
        return;
    }
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    m_settings.Save();
    m_extraSettingsStore.Save();
    if (m_trayIcon)
        m_trayIcon->hide();
    emit closed();
}

void THoofdscherm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_centred)
        return;
    m_centred = true;
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}
