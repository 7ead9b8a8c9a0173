// The port list and its watch over a device folder of the test's own: by-id
// links (to socat pseudo-terminals and to plain files standing in for device
// nodes), a sysfs class folder, and links that come and go as on a hot-plug.
#include "PortList.h"
#include "SocatPair.h"

#include <QtTest>

#include <fstream>
#include <unistd.h>

namespace {

using Entries = std::vector<TPortEntry>;

bool MakeLink(const QString &Target, const QString &Link)
{
    return ::symlink(Target.toLocal8Bit().constData(), Link.toLocal8Bit().constData()) == 0;
}

// A sysfs class entry backed by a device, as TSysfsSerialSource reads it.
void MakeSysfsTty(const QString &ClassDir, const QString &Name)
{
    QVERIFY(QDir().mkpath(ClassDir + QLatin1Char('/') + Name + QStringLiteral("/device")));
}

TAdapterInfo FakeUdev(const std::string &Kernel)
{
    if (Kernel == "ttyUSB0")
        return {"FTDI", "FT232R USB UART"};
    if (Kernel == "ttyACM0")
        return {"Arduino (www.arduino.cc)", "Arduino Uno"};
    return {};
}

QStringList Ports(const Entries &List)
{
    QStringList Names;
    for (const TPortEntry &E : List)
        Names << QString::fromStdString(E.Port);
    return Names;
}

}  // namespace

class TestPortList : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void details_data();
    void details();
    void byIdFirstThenTheRest();
    void watchFollowsDevicesComingAndGoing();
    void udevDescribesWhatIsThere();
};

void TestPortList::details_data()
{
    QTest::addColumn<QString>("kernel");
    QTest::addColumn<QString>("maker");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("details");
    QTest::newRow("by-id") << QStringLiteral("ttyUSB0") << QStringLiteral("FTDI") << QStringLiteral("FT232R USB UART")
                           << QStringLiteral("ttyUSB0, FTDI FT232R USB UART");
    QTest::newRow("maker repeated in the model")
        << QStringLiteral("ttyACM0") << QStringLiteral("Arduino") << QStringLiteral("Arduino Uno")
        << QStringLiteral("ttyACM0, Arduino Uno");
    QTest::newRow("nothing known") << QStringLiteral("ttyUSB3") << QStringLiteral("") << QStringLiteral("")
                                   << QStringLiteral("ttyUSB3");
    QTest::newRow("plain device with a maker")
        << QStringLiteral("") << QStringLiteral("Prolific") << QStringLiteral("") << QStringLiteral("Prolific");
    QTest::newRow("plain device, nothing known")
        << QStringLiteral("") << QStringLiteral("") << QStringLiteral("") << QStringLiteral("");
}

void TestPortList::details()
{
    QFETCH(QString, kernel);
    QFETCH(QString, maker);
    QFETCH(QString, model);
    QFETCH(QString, details);
    TPortEntry Entry {std::string("port"), kernel.toStdString(), {maker.toStdString(), model.toStdString()}};
    QCOMPARE(QString::fromStdString(Entry.Details()), details);
}

void TestPortList::byIdFirstThenTheRest()
{
    TSocatPair Cable;
    QVERIFY2(Cable.Start(), qPrintable(Cable.Error));
    QTemporaryDir Dev, Sys;
    const QString ById = Dev.filePath(QStringLiteral("serial/by-id"));
    QVERIFY(QDir().mkpath(ById));
    // A node of the folder itself, a pseudo-terminal elsewhere, and a link
    // whose device is gone.
    QVERIFY(QFile(Dev.filePath(QStringLiteral("ttyUSB0"))).open(QIODevice::WriteOnly));
    QVERIFY(MakeLink(
        QStringLiteral("../../ttyUSB0"), ById + QStringLiteral("/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0")));
    QVERIFY(MakeLink(QString::fromStdString(Cable.Near()), ById + QStringLiteral("/usb-Arduino_Uno_10-if00")));
    QVERIFY(MakeLink(QStringLiteral("../../ttyUSB9"), ById + QStringLiteral("/usb-Gone_Adapter_2-if00-port0")));
    // The kernel's list: the linked ttyUSB0 once, under its by-id name.
    MakeSysfsTty(Sys.path(), QStringLiteral("ttyUSB0"));
    MakeSysfsTty(Sys.path(), QStringLiteral("ttyS10"));
    MakeSysfsTty(Sys.path(), QStringLiteral("ttyS2"));

    TPortRoots Roots;
    Roots.Dev = Dev.path().toStdString();
    Roots.SysClass = Sys.path().toStdString();
    Roots.Modems = false;
    Roots.Describe = FakeUdev;
    const Entries List = ListPorts(Roots);
    QCOMPARE(Ports(List),
        (QStringList {ById + QStringLiteral("/usb-Arduino_Uno_10-if00"),
            ById + QStringLiteral("/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"), QStringLiteral("ttyS2"),
            QStringLiteral("ttyS10")}));
    char Pty[PATH_MAX];
    QVERIFY(::realpath(Cable.Near().c_str(), Pty));
    QCOMPARE(QString::fromStdString(List[0].Kernel), QString::fromLocal8Bit(Pty).mid(5));  // "pts/N"
    QCOMPARE(QString::fromStdString(List[1].Details()), QStringLiteral("ttyUSB0, FTDI FT232R USB UART"));
    QVERIFY(List[2].Kernel.empty() && List[2].Details().empty());

    // No by-id folder (no adapter plugged in) and no sysfs: an empty list.
    Roots.Dev = Sys.filePath(QStringLiteral("none")).toStdString();
    Roots.SysClass = Roots.Dev;
    QVERIFY(ListPorts(Roots).empty());
}

void TestPortList::watchFollowsDevicesComingAndGoing()
{
    TSocatPair First, Second;
    QVERIFY2(First.Start(), qPrintable(First.Error));
    QVERIFY2(Second.Start(), qPrintable(Second.Error));
    QTemporaryDir Dev, Sys;
    TPortRoots Roots;
    Roots.Dev = Dev.path().toStdString();
    Roots.SysClass = Sys.path().toStdString();
    Roots.Modems = false;
    Roots.Describe = FakeUdev;
    int Calls = 0;
    TPortWatch Watch(Roots, [&] { ++Calls; });
    QVERIFY(Watch.List().empty());

    // The first adapter brings the by-id folder with it, as udev does.
    const QString ById = Dev.filePath(QStringLiteral("serial/by-id"));
    QVERIFY(QDir().mkpath(ById));
    QVERIFY(MakeLink(QString::fromStdString(First.Near()), ById + QStringLiteral("/usb-One-if00")));
    QTRY_VERIFY(Calls > 0 && Watch.List().size() == 1);
    QVERIFY(MakeLink(QString::fromStdString(Second.Near()), ById + QStringLiteral("/usb-Two-if00")));
    QTRY_COMPARE(Ports(Watch.List()).size(), 2);

    // The last adapter takes the folder away; the next one brings it back.
    int Before = Calls;
    QVERIFY(QDir(Dev.filePath(QStringLiteral("serial"))).removeRecursively());
    QTRY_VERIFY(Calls > Before);
    QVERIFY(Watch.List().empty());
    Before = Calls;
    QVERIFY(QDir().mkpath(ById));
    QVERIFY(MakeLink(QString::fromStdString(Second.Near()), ById + QStringLiteral("/usb-Two-if00")));
    QTRY_VERIFY(Calls > Before && Watch.List().size() == 1);
    Before = Calls;
    QVERIFY(QFile::remove(ById + QStringLiteral("/usb-Two-if00")));
    QTRY_VERIFY(Calls > Before && Watch.List().empty());

    // A burst of changes is told once it settles, not once per change.
    Before = Calls;
    for (int I = 0; I < 20; ++I)
        QVERIFY(QFile(Dev.filePath(QStringLiteral("node%1").arg(I))).open(QIODevice::WriteOnly));
    QTRY_VERIFY(Calls > Before);
    QTest::qWait(4 * TPortWatch::SettleMs);
    QVERIFY(Calls - Before < 20);
}

void TestPortList::udevDescribesWhatIsThere()
{
    // No test machine has a USB adapter: a device that is not there, and a
    // console that is no USB device, say nothing and break nothing.
    const TAdapterInfo None = DescribeByUdev("ttyUSB-none");
    QVERIFY(None.Maker.empty() && None.Model.empty());
    const TAdapterInfo Console = DescribeByUdev("tty0");
    QVERIFY(Console.Maker.empty() && Console.Model.empty());
}

QTEST_GUILESS_MAIN(TestPortList)
#include "tst_PortList.moc"
