#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include "engine/storedparameters.h"
#include "settingsfiles.h"
#include "testfiles.h"

using namespace Qt::Literals::StringLiterals;

// The options as the service reads them from an installation folder, files only read.
class TestStoredParameters : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_dir.emplace();
        m_folder = m_dir->path() + u'/';
    }

    // The extra options an older main file holds count where the extra file lacks them; where
    // it has them, its own values do.
    void extraOptionsComeFromBothFiles() {
        const QByteArray old =
            settingsfiles::withExtrasInside(m_folder.toLatin1(), {{"BevestigdAfleveren_Checked", "TRUE"},
                                                                  {"WachtWaarschuwing_Text", "7"},
                                                                  {"TijdInLogboeken_Checked", "Y"}});
        QVERIFY(writeFile(m_folder + mainSettingsFileName(), old));
        const QByteArray extra = settingsfiles::extraFile({{"WachtWaarschuwing_Text", "9"}});
        QVERIFY(writeFile(m_folder + extraSettingsFileName(), extra));
        const StoredParameters stored = StoredParameters::read(m_folder);
        QCOMPARE(stored.problem, QString());
        QVERIFY(stored.parameters.bevestigdAfleveren);
        QVERIFY(stored.parameters.tijdInLogboeken);
        QCOMPARE(stored.parameters.wachtWaarschuwing, u"9"_s);
        QCOMPARE(stored.parameters.bevestigingsTijd, u"30"_s);
        QCOMPARE(stored.extraFilePath, m_folder + u"RTCPIPCLIENT.extra"_s);
        QCOMPARE(readFile(m_folder + mainSettingsFileName()), old);
        QCOMPARE(readFile(m_folder + extraSettingsFileName()), extra);
    }

    // Each damaged file has its line; nothing is renamed by a reader.
    void damagedFilesAreProblems() {
        QVERIFY(writeFile(m_folder + mainSettingsFileName(), settingsfiles::nested(30000)));
        QVERIFY(writeFile(m_folder + extraSettingsFileName(), "<Configuration>"));
        const StoredParameters stored = StoredParameters::read(m_folder);
        const QStringList lines = stored.problem.split(u'\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].contains(u"RTCPIPCLIENT.xml"_s) && lines[0].contains(u"256 niveaus"_s),
                 qPrintable(lines[0]));
        QVERIFY2(lines[1].contains(u"RTCPIPCLIENT.extra"_s), qPrintable(lines[1]));
        QCOMPARE(stored.parameters.host, u"127.0.0.1"_s);
        QVERIFY(QFile::exists(m_folder + mainSettingsFileName()));
        QVERIFY(!QFile::exists(m_folder + mainSettingsFileName() + u".bad"_s));
    }

    // The main file keeps the window's fourteen options of old, in their order; every other
    // option is in the extra file, once, and that file's name is not one the outbox sends.
    void everyOptionHasOneFile() {
        QStringList main;
        for (const MainSetting& setting : mainSettings())
            main.append(setting.control + u'_' + setting.property);
        QCOMPARE(main,
                 (QStringList{u"edtHost_Text"_s, u"edtPoort_Text"_s, u"EOT_Checked"_s, u"SOH_Checked"_s,
                              u"STX_Checked"_s, u"ToonHex_Checked"_s, u"enc64ontvangst_Checked"_s,
                              u"enc64verzenden_Checked"_s, u"AutoConnect_Checked"_s,
                              u"AutoBestanden_Checked"_s, u"AutoLocatie_Text"_s, u"ACKDisconnect_Checked"_s,
                              u"Logbewaren_Checked"_s, u"XMLBestandenBewaren_Checked"_s}));
        QStringList keys;
        for (const MainSetting& setting : mainSettings() + extraSettings())
            keys.append(setting.control);
        QCOMPARE(QSet<QString>(keys.begin(), keys.end()).size(), keys.size());
        QVERIFY(!extraSettingsFileName().endsWith(u".xml"_s, Qt::CaseInsensitive));
        QCOMPARE(ownSettingsFiles(m_folder),
                 (QStringList{m_folder + u"RTCPIPCLIENT.xml"_s, m_folder + u"RTCPIPCLIENT.extra"_s,
                              m_folder + u"RTCPIPCLIENTSMS.xml"_s}));
    }

private:
    std::optional<QTemporaryDir> m_dir;
    QString m_folder;
};

QTEST_GUILESS_MAIN(TestStoredParameters)
#include "tst_storedparameters.moc"
