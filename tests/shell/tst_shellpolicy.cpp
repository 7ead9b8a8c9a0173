// What the main window does that is not drawing, without a window: the
// port session over the fake device and a socat pseudo-terminal, the status
// tick's sleep and wake, the layout file in a temporary folder.
#include "SocatPair.h"

#include "DeviceReturn.h"
#include "FakeComDevice.h"
#include "HangingServer.h"
#include "LayoutFile.h"
#include "PortSession.h"
#include "QuillScomm.h"
#include "StatusTick.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {
const TPortChoice Choice {"/dev/ttyFAKE", "115200", "Even", "7", "2"};

// An event that is neither input nor the tick's own work.
class TAnyEvent : public QEvent {
public:
    TAnyEvent() : QEvent(QEvent::User) { }
};
}  // namespace

class TestShellPolicy : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sessionOpensWithTheChoiceAndParksWhenClosed()
    {
        auto State = std::make_shared<TFakeComState>();
        TQuillScomm Link(std::make_unique<TFakeComDevice>(State));
        TQuillComThread Reader(Link);
        TPortSession Session(Link, Reader);
        QVERIFY(!Session.IsOpen());
        QTRY_VERIFY(Reader.Parked());
        Session.Open(Choice);
        QVERIFY(Session.IsOpen());
        QCOMPARE(Link.Port.BaudRate(), br115200);
        QCOMPARE(Link.Port.Parity().Bits(), prEven);
        QCOMPARE(Link.Port.DataBits(), dbSeven);
        QCOMPARE(Link.Port.StopBits(), sbTwoStopBits);
        QTRY_VERIFY(!Reader.Parked());
        // Opening what is open changes nothing.
        Session.Open({"/dev/other", "9600", "None", "8", "1"});
        QCOMPARE(Link.Port.BaudRate(), br115200);
        {
            std::lock_guard<std::mutex> Lock(State->Lock);
            QCOMPARE(State->Opens, 1);
        }
        Session.Close();
        QVERIFY(!Session.IsOpen() && Reader.Parked());
        Session.Close();
        QVERIFY(Session.CloseVanished().empty());
    }

    void sessionOpensAtATypedRateOfNoFixedEntry()
    {
        // The command line takes any rate; a rate of the list stays that entry.
        const std::pair<const char *, uint32_t> Rates[] = {{"250000", 250000}, {"4000000", 4000000}, {"57600", 57600}};
        for (const auto &[Text, Rate] : Rates) {
            auto State = std::make_shared<TFakeComState>();
            TQuillScomm Link(std::make_unique<TFakeComDevice>(State));
            TQuillComThread Reader(Link);
            TPortSession Session(Link, Reader);
            Session.Open({"/dev/ttyFAKE", Text, "None", "8", "1"});
            QVERIFY(Session.IsOpen());
            std::lock_guard<std::mutex> Lock(State->Lock);
            QCOMPARE(State->Dcb.BaudRate, Rate);
            QCOMPARE(Link.Port.BaudRate() == brCustom, Rate != 57600);
        }
    }

    // Opened on a thread of its own: told once, the port the caller's again
    // only once it took the outcome; a connection that hangs is given up.
    void backgroundOpenIsToldOnceAndCanBeGivenUp()
    {
        struct TOutcome {
            std::atomic<int> Calls {0};
            std::atomic<bool> Cancelled {false};
            std::string Error;  // written before Calls
        };
        {
            auto State = std::make_shared<TFakeComState>();
            TQuillScomm Link(std::make_unique<TFakeComDevice>(State));
            TQuillComThread Reader(Link);
            TPortSession Session(Link, Reader);
            TOutcome Outcome;
            Session.OpenInBackground(Choice, [&Outcome](const std::string &Error, bool Cancelled) {
                Outcome.Error = Error;
                Outcome.Cancelled = Cancelled;
                ++Outcome.Calls;
            });
            QTRY_COMPARE(Outcome.Calls.load(), 1);
            QVERIFY(Outcome.Error.empty() && !Outcome.Cancelled);
            QVERIFY(Session.Opening());
            Session.FinishOpen();
            QVERIFY(!Session.Opening() && Session.IsOpen());
            QTRY_VERIFY(!Reader.Parked());
            QCOMPARE(Link.Port.BaudRate(), br115200);
        }
        THangingServer Server;
        QVERIFY(Server.Port > 0);
        TQuillScomm Link;
        TQuillComThread Reader(Link);
        TPortSession Session(Link, Reader);
        TOutcome Outcome;
        Session.OpenInBackground({"rfc2217://127.0.0.1:" + std::to_string(Server.Port), "9600", "None", "8", "1"},
            [&Outcome](const std::string &Error, bool Cancelled) {
                Outcome.Error = Error;
                Outcome.Cancelled = Cancelled;
                ++Outcome.Calls;
            });
        QTRY_VERIFY(Link.Opening());
        QCOMPARE(Outcome.Calls.load(), 0);
        Session.CancelOpen();
        QTRY_COMPARE(Outcome.Calls.load(), 1);
        QVERIFY(Outcome.Cancelled);
        Session.FinishOpen();
        QVERIFY(!Session.Opening() && !Session.IsOpen());
        QVERIFY(Reader.Parked());
    }

    void refusedOpenLeavesTheReaderParked()
    {
        auto State = std::make_shared<TFakeComState>();
        State->LineError = EINVAL;
        TQuillScomm Link(std::make_unique<TFakeComDevice>(State));
        TQuillComThread Reader(Link);
        TPortSession Session(Link, Reader);
        QVERIFY_THROWS_EXCEPTION(ECom, Session.Open(Choice));
        QVERIFY(!Session.IsOpen());
        QTRY_VERIFY(Reader.Parked());
        QTest::qWait(100);
        QVERIFY(Reader.Parked());
        // The next try, with the cause gone, opens.
        State->LineError = 0;
        Session.Open(Choice);
        QVERIFY(Session.IsOpen());
    }

    // The baud combo's text: a listed rate, or any whole number of bits per
    // second as the port's custom rate; the device's refusal names its cause.
    void baudRateTextReachesTheDevice()
    {
        auto State = std::make_shared<TFakeComState>();
        TQuillScomm Link(std::make_unique<TFakeComDevice>(State));
        struct TCase {
            const char *Text;
            TBaudRate Rate;
            uint32_t DeviceRate;  // 0: refused
        } Cases[] = {{"115200", br115200, 115200}, {"custom", brCustom, 250000}, {"", br9600, 9600},
            {"1500000", brCustom, 1500000}, {" 31250 ", brCustom, 31250}, {"0", br9600, 0}, {"-300", br9600, 0},
            {"12x", br9600, 0}, {"99999999999", br9600, 0}};
        Link.Port.SetCustomBaudRate(250000);
        for (const TCase &C : Cases) {
            Link.Port.SetBaudRate(br9600);
            if (!C.DeviceRate) {
                QVERIFY_THROWS_EXCEPTION(ECom, SetBaudRateText(Link.Port, C.Text));
                QCOMPARE(Link.Port.CustomBaudRate(), 250000);
                continue;
            }
            SetBaudRateText(Link.Port, C.Text);
            QCOMPARE(Link.Port.BaudRate(), C.Rate);
            Link.OpenPort();
            {
                std::lock_guard<std::mutex> Lock(State->Lock);
                QCOMPARE(State->Dcb.BaudRate, C.DeviceRate);
            }
            Link.ClosePort();
            Link.Port.SetCustomBaudRate(250000);
        }

        TQuillComThread Reader(Link);
        TPortSession Session(Link, Reader);
        State->LineError = EINVAL;
        try {
            Session.Open({"/dev/ttyFAKE", "4000000", "None", "8", "1"});
            QFAIL("opened");
        } catch (const ECom &E) {
            const std::string Cause = std::string("SetCommState function failed: ") + std::strerror(EINVAL) +
                ": the device does not take these settings";
            QVERIFY2(std::string(E.what()).find(Cause) != std::string::npos, E.what());
        }
        QVERIFY(!Session.IsOpen());
    }

    void vanishedDeviceIsClosedOnce_data()
    {
        QTest::addColumn<bool>("Real");
        QTest::newRow("fake") << false;
        QTest::newRow("socat") << true;
    }
    void vanishedDeviceIsClosedOnce()
    {
        QFETCH(bool, Real);
        auto State = std::make_shared<TFakeComState>();
        TSocatPair Cable;
        std::unique_ptr<TQuillScomm> Link;
        TPortChoice Port = Choice;
        if (Real) {
            QVERIFY2(Cable.Start(), qPrintable(Cable.Error));
            Link = std::make_unique<TQuillScomm>();
            Port.Port = Cable.Near();
        } else {
            Link = std::make_unique<TQuillScomm>(std::make_unique<TFakeComDevice>(State));
        }
        TQuillComThread Reader(*Link);
        TPortSession Session(*Link, Reader);
        Session.Open(Port);
        QVERIFY(Session.CloseVanished().empty());
        QVERIFY(Session.IsOpen());
        if (Real)
            Cable.Stop();
        else
            State->Vanish(EIO);
        QTRY_VERIFY_WITH_TIMEOUT(Link->DeviceGone(), 5000);
        QCOMPARE(Session.CloseVanished(), Port.Port);
        QVERIFY(!Session.IsOpen() && Reader.Parked());
        QVERIFY(Session.CloseVanished().empty());
    }

    // An adapter unplugged takes its by-id link and, being the last, the
    // folders above it; plugged back in, all come back and the port is
    // reopened by its link, the marker line ahead of what it receives.
    void returnedDeviceIsReopenedThroughItsFolders()
    {
        TSocatPair Cable;
        QVERIFY2(Cable.Start(), qPrintable(Cable.Error));
        QTemporaryDir Dev;
        const QString ById = Dev.filePath(QStringLiteral("serial/by-id"));
        const QString Link = ById + QStringLiteral("/usb-Maker_Cable_1-if00-port0");
        QVERIFY(QDir().mkpath(ById));
        QCOMPARE(::symlink(Cable.Near().c_str(), Link.toLocal8Bit().constData()), 0);
        TQuillScomm Scomm;
        TQuillComThread Reader(Scomm);
        TPortSession Session(Scomm, Reader);
        TDeviceReturn Return(Session);
        QStringList Reopened;
        Return.Reopened = [&](const std::string &Port) { Reopened << QString::fromStdString(Port); };
        TPortChoice Port = Choice;
        Port.Port = Link.toStdString();
        Session.Open(Port);

        Cable.Stop();
        QVERIFY(QDir(Dev.filePath(QStringLiteral("serial"))).removeRecursively());
        QTRY_VERIFY_WITH_TIMEOUT(Scomm.DeviceGone(), 5000);
        QCOMPARE(Session.CloseVanished(), Port.Port);
        Return.Await(Session.LastChoice());
        QVERIFY(Return.Waiting());
        QCOMPARE(QString::fromStdString(Return.WatchedFolder()), Dev.path());
        while (!Scomm.FetchLine().empty()) { }

        // udev makes the folders first, the link last.
        TSocatPair Back;
        QVERIFY2(Back.Start(), qPrintable(Back.Error));
        QVERIFY(QDir().mkpath(ById));
        QTRY_COMPARE(QString::fromStdString(Return.WatchedFolder()), ById);
        QVERIFY(!Session.IsOpen());
        QCOMPARE(::symlink(Back.Near().c_str(), Link.toLocal8Bit().constData()), 0);
        QTRY_VERIFY(Session.IsOpen());
        QCOMPARE(Reopened, QStringList {Link});
        QVERIFY(!Return.Waiting() && Return.WatchedFolder().empty());
        QCOMPARE(Scomm.Port.BaudRate(), br115200);
        QCOMPARE(Scomm.Port.Parity().Bits(), prEven);
        QVERIFY(Back.WriteFar("\x01"));
        QCOMPARE(Scomm.FetchLine(), TDeviceReturn::Marker);
        QTRY_VERIFY(Scomm.LinesWaiting());
        QVERIFY(Scomm.FetchLine().rfind("R[", 0) == 0);
    }

    void tickSleepsWhenNothingChangesAndEventsWakeIt()
    {
        int Steps = 0;
        bool Busy = false;
        TStatusTick Tick([&] {
            ++Steps;
            return Busy;
        });
        QVERIFY(!Tick.Sleeping());
        Tick.Start();
        QTRY_VERIFY_WITH_TIMEOUT(Tick.Sleeping(), 5000);
        QCOMPARE(Steps, TStatusTick::IdleTicksBeforeSleep);

        // Timers do not wake it (its own would keep it awake for ever).
        QTimer Other;
        Other.start(5);
        QTest::qWait(200);
        QVERIFY(Tick.Sleeping());
        Other.stop();

        // Any other event does; a step that reports a change keeps it awake.
        QObject Target;
        QCoreApplication::postEvent(&Target, new TAnyEvent);
        QCoreApplication::processEvents();
        QVERIFY(!Tick.Sleeping());
        Busy = true;
        QTest::qWait(TStatusTick::Interval * (TStatusTick::IdleTicksBeforeSleep + 10));
        QVERIFY(!Tick.Sleeping());
        Busy = false;
        QTRY_VERIFY_WITH_TIMEOUT(Tick.Sleeping(), 5000);

        // Wake from a command, WakeLater from another thread.
        Tick.Wake();
        QVERIFY(!Tick.Sleeping());
        QTRY_VERIFY_WITH_TIMEOUT(Tick.Sleeping(), 5000);
        std::thread([&Tick] { Tick.WakeLater(); }).join();
        QTRY_VERIFY(!Tick.Sleeping());

        // Stopped, nothing wakes it.
        Tick.Stop();
        const int Before = Steps;
        Tick.Wake();
        QCoreApplication::postEvent(&Target, new TAnyEvent);
        QTest::qWait(200);
        QCOMPARE(Steps, Before);
    }

    void layoutFileRoundTrip()
    {
        QTemporaryDir Dir;
        const TLayoutFile File(Dir.filePath(QStringLiteral("a/b/config.ini")));
        const TLayout Fallback {QRect(1, 2, 3, 4), false, {}, {}, {}};
        // Missing: the fallback whole.
        QCOMPARE(File.Read(Fallback).Normal, Fallback.Normal);

        TLayout L;
        L.Normal = QRect(-20, 30, 700, 500);
        L.Maximized = true;
        L.Geometry = QByteArray("\x00\x01geo;=[x]\n", 11);
        L.DockState = QByteArray(300, '\xFF');
        L.PortName = QStringLiteral("/dev/serial/by-id/usb-Maker_Cable_\u00e9;=#1-if00-port0");
        QVERIFY(Fallback.ReopenOnReturn);
        L.ReopenOnReturn = false;
        QVERIFY(File.Write(L));
        QVERIFY(!TLayoutFile(Dir.filePath(QStringLiteral("a"))).Write(L));  // a folder
        const TLayout R = File.Read(Fallback);
        QCOMPARE(R.Normal, L.Normal);
        QCOMPARE(R.Maximized, true);
        QCOMPARE(R.Geometry, L.Geometry);
        QCOMPARE(R.DockState, L.DockState);
        QCOMPARE(R.PortName, L.PortName);
        QCOMPARE(R.ReopenOnReturn, false);

        // No port written: none read; rewriting drops the old keys.
        L.PortName.clear();
        QVERIFY(File.Write(L));
        QCOMPARE(File.Read(Fallback).PortName, QString());
    }

    void layoutFileDefaultAndDamage()
    {
        QTemporaryDir Dir;
        const QString Default = Dir.filePath(QStringLiteral("default.ini"));
        {
            QFile F(Default);
            QVERIFY(F.open(QIODevice::WriteOnly));
            F.write("[MainForm]\nLeft=361\nTop=158\nWidth=685\nHeight=506\n");
        }
        const TLayoutFile File(Dir.filePath(QStringLiteral("data/config.ini")));
        QVERIFY(File.EnsureExists(Default));
        QFile Written(File.Path()), Source(Default);
        QVERIFY(Written.open(QIODevice::ReadOnly) && Source.open(QIODevice::ReadOnly));
        QCOMPARE(Written.readAll(), Source.readAll());
        Written.close();
        const TLayout Fallback {QRect(5, 6, 7, 8), false, {}, {}, QStringLiteral("ttyS0")};
        const TLayout R = File.Read(Fallback);
        QCOMPARE(R.Normal, QRect(361, 158, 685, 506));
        QVERIFY(R.Geometry.isEmpty() && R.DockState.isEmpty());
        QCOMPARE(R.PortName, QStringLiteral("ttyS0"));

        // An existing file is left as it is.
        QVERIFY(QFile::remove(Default));
        QVERIFY(File.EnsureExists(Default));
        // A missing default leaves no file behind.
        const TLayoutFile Other(Dir.filePath(QStringLiteral("other.ini")));
        QVERIFY(!Other.EnsureExists(Default));
        QVERIFY(!QFile::exists(Other.Path()));

        // Damage: unreadable numbers keep the fallback's, binary junk reads.
        {
            QFile F(File.Path());
            QVERIFY(F.open(QIODevice::WriteOnly));
            F.write("[MainForm]\nLeft=abc\nTop=\xff\xfe\x00\x01\nWidth=99999999999999\n\x00\x00[[[\n");
        }
        const TLayout D = File.Read(Fallback);
        QCOMPARE(D.Normal.x(), 5);
        QCOMPARE(D.Normal.y(), 6);
        QCOMPARE(D.Normal.width(), 7);
    }
};

QTEST_GUILESS_MAIN(TestShellPolicy)
#include "tst_shellpolicy.moc"
