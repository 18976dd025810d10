// rtcpipclient-service: the link of the desktop program without its window, for a machine
// nobody sits at. It reads the same settings files beside it (or in --folder), never writes them,
// and writes what the window would show to standard output for the journal.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <cstdio>

#include <sys/stat.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "common/apperror.h"
#include "common/datafolders.h"
#include "common/uncaught.h"
#include "engine/linkengine.h"
#include "engine/shutdownsignals.h"
#include "engine/singleinstance.h"
#include "engine/storedparameters.h"
#include "link/connectionsupervisor.h"
#include "service/consolelog.h"
#include "service/enginejournal.h"
#include "service/metricsfile.h"
#include "service/systemdnotifier.h"
#include "transport/transportwait.h"
#include "version/versioninforeader.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// A frame from this size on leaves enough freed heap behind to hand back at once.
constexpr qsizetype kLargeFrame = qsizetype(8) << 20;

void releaseFreedMemory() {
#if defined(__GLIBC__)
    std::ignore = ::malloc_trim(0);
#endif
}

// Event dispatch is where an error that no handler caught ends: in the incoming log, as in the
// desktop program.
class ServiceApplication : public QCoreApplication {
public:
    using QCoreApplication::QCoreApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QCoreApplication::notify(receiver, event);
        } catch (const AppError& error) {
            uncaught::report(error.message());
        } catch (const std::exception& error) {
            uncaught::report(QString::fromLocal8Bit(error.what()));
        }
        return false;
    }
};

// Nothing to draw while the transport waits: a termination signal alone ends the wait. A wait
// that is served is alive, so it keeps the watchdog fed while it holds the event loop.
class SignalWait : public TransportWait {
public:
    SignalWait(const ShutdownSignals& shutdown, SystemdNotifier& notifier)
        : m_signals(shutdown)
        , m_notifier(notifier) {}
    bool serve() override {
        m_notifier.keepAlive();
        return !m_signals.pending();
    }
    void waitEnded() override {}

private:
    const ShutdownSignals& m_signals;
    SystemdNotifier& m_notifier;
};

void say(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// Standard output is the journal's, one line per entry in its own format; the program's own
// diagnostics go to standard error, and debug messages only when QT_LOGGING_RULES asks for them.
void diagnosticsToStandardError() {
    QLoggingCategory::setFilterRules(u"*.debug=false"_s);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext& context, const QString& message) {
        const QString category = QString::fromLatin1(context.category ? context.category : "");
        say(stderr, category.isEmpty() || category == u"default"_s ? message : category + u": "_s + message);
    });
}

QString yesNo(bool value) {
    return value ? u"aan"_s : u"uit"_s;
}

QString effectiveOptions(const LinkParameters& p, const QString& folder, const StoredParameters& stored) {
    const DataFolders data = DataFolders::beside(folder);
    QStringList lines{
        u"Installatiemap: "_s + QDir::toNativeSeparators(folder),
        u"Instellingenbestand: "_s + QDir::toNativeSeparators(stored.filePath) +
            (QFileInfo::exists(stored.filePath) ? QString() : u" (ontbreekt: standaardwaarden)"_s),
        u"Extra instellingen: "_s + QDir::toNativeSeparators(stored.extraFilePath) +
            (QFileInfo::exists(stored.extraFilePath) ? QString() : u" (ontbreekt)"_s),
        u"Logboeken: "_s + QDir::toNativeSeparators(data.logs),
        u"XML-archief: "_s + QDir::toNativeSeparators(data.xml),
        u"Host: "_s + p.host,
        u"Poort: "_s + QString::number(ConnectionSupervisor::portFromText(p.portText)) + u" (\""_s +
            p.portText + u"\")"_s,
    };
    for (const MainSetting& setting : mainSettings() + extraSettings()) {
        if (setting.isBoolean())
            lines.append(setting.control + u": "_s +
                         yesNo(p.*std::get<bool LinkParameters::*>(setting.member)));
    }
    lines.append(u"AutoLocatie: "_s + QDir::toNativeSeparators(p.autoLocatie));
    lines.append(u"BevestigingsTijd: "_s + QString::number(p.confirmationWait().count() / 1000) + u" s"_s);
    lines.append(u"WachtWaarschuwing: "_s + QString::number(p.outboxWarnAfter().count() / 1000) + u" s"_s);
    lines.append(u"InspecteurAantal: "_s + QString::number(p.frameLogCapacity()));
    return lines.join(u'\n');
}

} // namespace

int main(int argc, char** argv) {
    diagnosticsToStandardError();
    // Archives (orders, telephone numbers), logs and the metrics' temporary files are the
    // operator's alone; files that others must read say so where they are made.
    ::umask(077);
    ServiceApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"rtcpipclient-service"_s);

    VersionInfoReader version;
    version.setFileName(QCoreApplication::applicationFilePath());
    version.Read();
    const QString versionText = version.value(u"InternalFileVersion"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"De TCP/IP-verbinding met de centrale zonder venster: dezelfde instellingen, logboeken, "
        u"archief en uitgaande map als het programma met venster."_s);
    const QCommandLineOption helpOption({u"h"_s, u"help"_s}, u"Toont deze hulp."_s);
    const QCommandLineOption versionOption({u"v"_s, u"version"_s}, u"Toont de versie."_s);
    const QCommandLineOption checkOption(
        u"check"_s, u"Leest de instellingen en toont de opties en mappen die gelden, zonder te verbinden."_s);
    const QCommandLineOption folderOption(
        u"folder"_s, u"De installatiemap met RTCPIPCLIENT.xml (standaard de map van dit programma)."_s,
        u"map"_s);
    const QCommandLineOption metricsOption(
        u"metrics-file"_s,
        u"Schrijft de cijfers van de verbinding in het tekstformaat van Prometheus naar dit bestand, "
        u"elke paar seconden en bij het stoppen."_s,
        u"bestand"_s);
    const QCommandLineOption metricsIntervalOption(
        u"metrics-interval"_s,
        u"Milliseconden tussen twee keer schrijven van het metriekbestand (standaard 5000)."_s, u"ms"_s,
        u"5000"_s);
    parser.addOptions(
        {helpOption, versionOption, checkOption, folderOption, metricsOption, metricsIntervalOption});
    if (!parser.parse(QCoreApplication::arguments())) {
        say(stderr, parser.errorText());
        return 2;
    }
    if (parser.isSet(helpOption)) {
        say(stdout, parser.helpText());
        return 0;
    }
    if (parser.isSet(versionOption)) {
        say(stdout, u"rtcpipclient-service "_s + versionText);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        say(stderr, u"Onbekend argument: "_s + parser.positionalArguments().first());
        return 2;
    }

    QString folder = executableFolder();
    if (parser.isSet(folderOption)) {
        const QFileInfo given(parser.value(folderOption));
        if (!given.isDir()) {
            say(stderr, u"De map %1 bestaat niet."_s.arg(QDir::toNativeSeparators(given.filePath())));
            return 2;
        }
        folder = given.absoluteFilePath() + u'/';
    }
    const QFileInfo folderInfo(folder);
    if (!folderInfo.isReadable() || !folderInfo.isWritable() || !folderInfo.isExecutable()) {
        say(stderr,
            u"De map %1 is niet te lezen of niet te beschrijven."_s.arg(QDir::toNativeSeparators(folder)));
        return 2;
    }
    const StoredParameters stored = StoredParameters::read(folder);
    if (!stored.problem.isEmpty()) {
        say(stderr, stored.problem);
        return 2;
    }
    const LinkParameters parameters = stored.parameters;
    if (parser.isSet(checkOption)) {
        say(stdout, effectiveOptions(parameters, folder, stored));
        return 0;
    }
    if (ConnectionSupervisor::portFromText(parameters.portText) == 0) {
        say(stderr, u"De poort \"%1\" in %2 is geen poortnummer."_s.arg(
                        parameters.portText, QDir::toNativeSeparators(stored.filePath)));
        return 2;
    }

    SingleInstance instance(folder);
    instance.setRole(SingleInstance::Role::Service);
    switch (instance.claim()) {
    case SingleInstance::Claim::Primary:
    case SingleInstance::Claim::Unguarded:
        break;
    case SingleInstance::Claim::HeldByOther:
        say(stderr, instance.holderRole() == SingleInstance::Role::Desktop
                        ? u"Het programma RTCPIPCLIENT draait al in deze map; sluit het eerst."_s
                        : u"De service draait al in deze map."_s);
        return 3;
    case SingleInstance::Claim::HandedOver:
    case SingleInstance::Claim::NoAnswer:
        say(stderr, u"Er draait al een programma in deze map."_s);
        return 3;
    }

    const int metricsInterval = parser.value(metricsIntervalOption).toInt();
    if (metricsInterval <= 0) {
        say(stderr, u"--metrics-interval wil een aantal milliseconden."_s);
        return 2;
    }

    ShutdownSignals shutdown;
    LinkEngine engine({.executableFolder = folder}, [&parameters] { return parameters; });
    SystemdNotifier notifier(engine);
    SignalWait wait(shutdown, notifier);
    engine.setWaitHook(&wait);
    engine.setOwnFiles(ownSettingsFiles(folder));
    // The journal takes every line as it comes; the logs hold only what a rotation will save.
    engine.logs().setTail({});
    ConsoleLog console(engine.logs(), stdout);
    EngineJournal journal(engine, stdout);
    std::unique_ptr<MetricsFile> metrics;
    if (parser.isSet(metricsOption))
        metrics = std::make_unique<MetricsFile>(engine, parser.value(metricsOption),
                                                std::chrono::milliseconds(metricsInterval));
    QObject::connect(&engine, &LinkEngine::deliveryChanged, &app, [](const OutboxSend& send) {
        // A large frame's lines came and went in small blocks; without this the freed heap
        // stays with the process until something reuses it.
        if (send.frame.size() >= kLargeFrame)
            releaseFreedMemory();
    });
    uncaught::setHook([&engine](const QString& message) { engine.reportUncaught(message); });
    int code = 0;
    QObject::connect(&shutdown, &ShutdownSignals::requested, &app, [&engine, &code, &notifier] {
        notifier.stopping();
        if (const auto flushed = engine.flushLogs(); !flushed) {
            say(stderr, flushed.message());
            code = 1;
        }
        QCoreApplication::quit();
    });
    journal.announce(EngineJournal::startText(parameters, QDir::toNativeSeparators(folder),
                                              QDir::toNativeSeparators(stored.filePath)));
    engine.dataFolders().create();
    engine.start();
    if (metrics)
        metrics->start();
    notifier.ready();
    const int exitCode = QCoreApplication::exec();
    if (metrics) {
        if (const auto written = metrics->write(); !written)
            say(stderr, u"Metriekbestand niet geschreven: "_s + written.message());
    }
    uncaught::setHook({});
    return code != 0 ? code : exitCode;
}
