// The program as a shell starts it: options naming a socat pseudo-terminal
// and its line settings open it at start, as the terminal's own settings
// read back show; nothing they set is stored at exit; bad values end it with
// status 2 before any window, with no display at all.
#include "PosixComDevice.h"
#include "SettingsRecord.h"
#include "SocatPair.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

namespace {
const QString Program = QStringLiteral(TALLYSCOPE_PROGRAM);

// The program holds Device open.
bool Holds(qint64 Pid, const QString &Device)
{
    const QDir Fds(QStringLiteral("/proc/%1/fd").arg(Pid));
    for (const QFileInfo &Fd : Fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot))
        if (Fd.symLinkTarget() == Device)
            return true;
    return false;
}
}  // namespace

class TestStartOptions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void portOpensAtStartWithTheGivenSettingsAndNoneIsStored_data()
    {
        QTest::addColumn<QString>("Rate");
        QTest::newRow("listed rate") << QStringLiteral("57600");
        QTest::newRow("rate of no list entry") << QStringLiteral("250000");
    }
    void portOpensAtStartWithTheGivenSettingsAndNoneIsStored()
    {
        QFETCH(QString, Rate);
        TSocatPair Cable;
        QVERIFY2(Cable.Start(), qPrintable(Cable.Error));
        const QString Near = QString::fromStdString(Cable.Near());
        const QString Device = QFileInfo(Near).canonicalFilePath();
        // Opened before the program takes it for itself, to read its settings.
        const int Fd = ::open(Cable.Near().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        QVERIFY(Fd >= 0);
        QTemporaryDir Home, Logs;
        QProcess Run;
        QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
        Env.insert(QStringLiteral("XDG_DATA_HOME"), Home.path());
        Run.setProcessEnvironment(Env);
        Run.start(Program,
            {QStringLiteral("--port"), Near, QStringLiteral("--baud"), Rate, QStringLiteral("--data-bits"),
                QStringLiteral("7"), QStringLiteral("--parity"), QStringLiteral("even"), QStringLiteral("--stop-bits"),
                QStringLiteral("2"), QStringLiteral("--open"), QStringLiteral("--ascii"), QStringLiteral("--log-dir"),
                Logs.path()});
        QVERIFY(Run.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(Holds(Run.processId(), Device), 30000);
        // A pseudo-terminal keeps its rate but no line format (always 8N1).
        uint32_t Speed = 0;
        QTRY_VERIFY_WITH_TIMEOUT(GetCustomBaudRate(Fd, Speed) == 0 && Speed == Rate.toUInt(), 5000);
        ::close(Fd);

        // Ended as a session's end ends it: it saves what it keeps.
        Run.terminate();
        QVERIFY(Run.waitForFinished(20000));
        QCOMPARE(Run.exitStatus(), QProcess::NormalExit);
        QCOMPARE(Run.exitCode(), 0);
        const QString Folder = Home.filePath(QStringLiteral("Corvane/Tallyscope"));
        TSettingsRecord Saved;
        ReadSettingsFile(Saved, Folder + QStringLiteral("/data"));
        const TSettingsRecord Fresh;
        QCOMPARE(Saved.PortIndex(), Fresh.PortIndex());
        QCOMPARE(Saved.BaudIndex(), Fresh.BaudIndex());
        QCOMPARE(Saved.ParityIndex(), Fresh.ParityIndex());
        QCOMPARE(Saved.DataBitsIndex(), Fresh.DataBitsIndex());
        QCOMPARE(Saved.StopBitsIndex(), Fresh.StopBitsIndex());
        QCOMPARE(Saved.AsciiReceive(), Fresh.AsciiReceive());
        QCOMPARE(Saved.AutoSaveFolder(), Fresh.AutoSaveFolder());
        QCOMPARE(Saved.AutoSaveLineCount(), Fresh.AutoSaveLineCount());
        const QSettings Layout(Folder + QStringLiteral("/config.ini"), QSettings::IniFormat);
        QVERIFY(Layout.contains(QStringLiteral("MainForm/Geometry")));
        QVERIFY(!Layout.contains(QStringLiteral("Port/Name")));
        QVERIFY(!Layout.contains(QStringLiteral("Port/BaudRate")));
    }

    void badValuesEndTheProgramWithStatusTwoAndNoDisplay_data()
    {
        QTest::addColumn<QStringList>("Arguments");
        QTest::addColumn<QString>("Told");
        const auto Row = [](const char *Name, const QString &Arguments, const char *Told) {
            QTest::newRow(Name) << Arguments.split(QLatin1Char(' ')) << QString::fromLatin1(Told);
        };
        Row("baud", QStringLiteral("-b fast -o"), "--baud: 'fast'");
        Row("parity", QStringLiteral("--parity sometimes"), "none, odd, even, mark or space");
        Row("missing value", QStringLiteral("--port"), "--port needs a value");
        Row("log folder", QStringLiteral("--log-dir /nonexistent/logs"), "--log-dir: there is no folder");
    }
    void badValuesEndTheProgramWithStatusTwoAndNoDisplay()
    {
        QFETCH(QStringList, Arguments);
        QFETCH(QString, Told);
        QProcess Run;
        QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
        for (const char *Name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            Env.remove(QLatin1String(Name));
        QTemporaryDir Home;
        Env.insert(QStringLiteral("XDG_DATA_HOME"), Home.path());
        Run.setProcessEnvironment(Env);
        Run.start(Program, Arguments);
        QVERIFY(Run.waitForFinished(20000));
        QCOMPARE(Run.exitStatus(), QProcess::NormalExit);
        QCOMPARE(Run.exitCode(), 2);
        const QString Error = QString::fromLocal8Bit(Run.readAllStandardError());
        QVERIFY2(Error.startsWith(QStringLiteral("tallyscope: ")) && Error.contains(Told), qPrintable(Error));
        QVERIFY(Run.readAllStandardOutput().isEmpty());
        // Nothing of a run: no data folder was made.
        QVERIFY(!QFileInfo::exists(Home.filePath(QStringLiteral("Corvane"))));
    }

    void unknownOptionIsRefusedOnceTheWindowSystemTookItsOwn()
    {
        QTemporaryDir Home;
        QProcess Run;
        QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
        Env.insert(QStringLiteral("XDG_DATA_HOME"), Home.path());
        Env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        Run.setProcessEnvironment(Env);
        Run.start(Program,
            {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--bud"),
                QStringLiteral("9600")});
        QVERIFY(Run.waitForFinished(20000));
        QCOMPARE(Run.exitCode(), 2);
        QVERIFY(Run.readAllStandardError().contains("unknown option '--bud'"));
        QVERIFY(!QFileInfo::exists(Home.filePath(QStringLiteral("Corvane/Tallyscope/config.ini"))));
    }

    void portListIsPrintedWithNoDisplay()
    {
        QProcess Run;
        QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
        for (const char *Name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            Env.remove(QLatin1String(Name));
        Run.setProcessEnvironment(Env);
        Run.start(Program, {QStringLiteral("--list-ports")});
        QVERIFY(Run.waitForFinished(20000));
        QCOMPARE(Run.exitCode(), 0);
        QVERIFY(Run.readAllStandardError().isEmpty());
        // One name a line, nothing else.
        for (const QByteArray &Name : Run.readAllStandardOutput().split('\n'))
            QVERIFY(!Name.contains(' ') || Name.startsWith("/dev/serial/by-id/"));
    }
};

QTEST_GUILESS_MAIN(TestStartOptions)
#include "tst_startoptions.moc"
