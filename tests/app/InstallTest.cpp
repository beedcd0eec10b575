#include "IsolatedHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace murmelo;

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// An installation into a fresh prefix: every file in its standard place, and the installed executable
// finding its resources there.
class InstallTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_prefix.isValid());
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QStringLiteral("cmake"),
                      {QStringLiteral("--install"), qEnvironmentVariable("MURMELO_BUILD_DIR"),
                       QStringLiteral("--prefix"), m_prefix.path()});
        QVERIFY(install.waitForFinished(120000));
        QVERIFY2(install.exitCode() == 0, install.readAll().constData());
    }

    void filesInTheirStandardPlaces_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("executable") << QStringLiteral("bin/murmelo");
        QTest::newRow("tray icon resource") << QStringLiteral("share/murmelo/MenuIcon.svg");
        QTest::newRow("desktop entry") << QStringLiteral("share/applications/org.murmelo.Murmelo.desktop");
        QTest::newRow("theme icon") << QStringLiteral(
            "share/icons/hicolor/scalable/apps/org.murmelo.Murmelo.svg");
        QTest::newRow("metainfo") << QStringLiteral("share/metainfo/org.murmelo.Murmelo.metainfo.xml");
    }

    void filesInTheirStandardPlaces() {
        QFETCH(QString, path);
        QVERIFY2(QFileInfo(QDir(m_prefix.path()).filePath(path)).isFile(), qPrintable(path));
    }

    void desktopEntryStartsTheInstalledProgram() {
        QSettings entry(
            QDir(m_prefix.path()).filePath(QStringLiteral("share/applications/org.murmelo.Murmelo.desktop")),
            QSettings::IniFormat);
        entry.beginGroup(QStringLiteral("Desktop Entry"));
        QCOMPARE(entry.value(QStringLiteral("Type")).toString(), QStringLiteral("Application"));
        QCOMPARE(entry.value(QStringLiteral("Name")).toString(), QStringLiteral("Murmelo"));
        QCOMPARE(entry.value(QStringLiteral("Exec")).toString(), QStringLiteral("murmelo"));
        QCOMPARE(entry.value(QStringLiteral("Icon")).toString(), QStringLiteral("org.murmelo.Murmelo"));

        const QByteArray metainfo =
            readFile(QDir(m_prefix.path())
                         .filePath(QStringLiteral("share/metainfo/org.murmelo.Murmelo.metainfo.xml")));
        QVERIFY(metainfo.contains("<id>org.murmelo.Murmelo</id>"));
        QVERIFY(
            metainfo.contains("<launchable type=\"desktop-id\">org.murmelo.Murmelo.desktop</launchable>"));
        QVERIFY(metainfo.contains("<binary>murmelo</binary>"));
    }

    void installedProgramFindsItsResources() {
        IsolatedHome home;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("MURMELO_RESOURCES_DIR"));
        environment.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent/murmelo-test"));
        QProcess application;
        application.setProcessEnvironment(environment);
        application.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        application.start(QDir(m_prefix.path()).filePath(QStringLiteral("bin/murmelo")), {});
        QVERIFY(application.waitForStarted(10000));
        QByteArray output;
        QTRY_VERIFY_WITH_TIMEOUT((output += application.readAllStandardOutput()).count('\n') >= 2, 30000);
        application.kill();
        application.waitForFinished(10000);
        QVERIFY2(output.startsWith("✅ MenuBar: Successfully loaded MenuIcon from Assets.xcassets\n"
                                   "📏 MenuBar: Icon size = 22.0 x 22.0\n"),
                 output.constData());
    }

private:
    QTemporaryDir m_prefix;
};

QTEST_GUILESS_MAIN(InstallTest)

#include "InstallTest.moc"
