// Port discovery: the list rules over sources of the test's own, and the
// sysfs source over a sysfs tree built in a temporary folder.
#include "CPort.h"
#include "PortDiscovery.h"

#include <QtTest>

#include <cerrno>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Names = std::vector<std::string>;

struct TListSource : TSerialDeviceSource {
    Names List;
    explicit TListSource(Names list) : List(std::move(list)) { }
    Names SerialDevices() const override { return List; }
};

struct TFailingSource : TSerialDeviceSource {
    Names SerialDevices() const override { throw EComPort(CError_RegError, EACCES); }
};

struct TModems : TModemSource {
    std::vector<TModemInfo> List;
    std::vector<TModemInfo> Modems() const override { return List; }
};

}  // namespace

class TestPortDiscovery : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void serialPortsKeepOrderAndDuplicates();
    void modemEntries();
    void listSerialPortsSorts();
    void listSerialPortsFails();
    void sysfsSource();
};

void TestPortDiscovery::serialPortsKeepOrderAndDuplicates()
{
    Names items {"first"};
    AddSerialCommPorts(items, TListSource({"ttyUSB1", "ttyS0", "ttyUSB1"}));
    QCOMPARE(items, (Names {"first", "ttyUSB1", "ttyS0", "ttyUSB1"}));
    Names none;
    AddSerialCommPorts(none, TListSource({}));
    QVERIFY(none.empty());
}

void TestPortDiscovery::modemEntries()
{
    TModems modems;
    modems.List = {
        {std::string("Quectel EC25"), std::string("TTYUSB2")},  // listed already, other case
        {std::string("Sierra MC7455"), std::string("ttyUSB5")},
        {std::string("Qualcomm QMI"), std::string("cdc-wdm0")},  // not a serial port
        {std::nullopt, std::string("ttyACM3")},
        {std::string("Quectel EC25"), std::nullopt},  // names are never checked
        {std::string("Old"), std::string("COM3")},
    };
    Names items {"ttyS0", "ttyUSB2"};
    AddModemEntries(items, modems);
    QCOMPARE(items,
        (Names {"ttyS0", "ttyUSB2", "Quectel EC25", "Sierra MC7455", "ttyUSB5", "Qualcomm QMI", "ttyACM3",
            "Quectel EC25", "Old", "COM3"}));
}

void TestPortDiscovery::listSerialPortsSorts()
{
    const Names sorted = ListSerialPorts(TListSource({"ttyS2", "COM2", "com10", "ttyACM0", "COM2"}));
    QCOMPARE(sorted, (Names {"com10", "COM2", "COM2", "ttyACM0", "ttyS2"}));
}

void TestPortDiscovery::listSerialPortsFails()
{
    try {
        ListSerialPorts(TFailingSource());
        QFAIL("no error");
    } catch (const EComPort &e) {
        QCOMPARE(e.ErrorCode(), 23);
        QCOMPARE(e.SystemErrorCode(), EACCES);
    }
    try {
        TSysfsSerialSource("/nonexistent/class/tty").SerialDevices();
        QFAIL("no error");
    } catch (const EComPort &e) {
        QCOMPARE(e.ErrorCode(), 23);
        QCOMPARE(e.SystemErrorCode(), ENOENT);
    }
}

void TestPortDiscovery::sysfsSource()
{
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    const std::string devices = root + "/devices";
    const std::string cls = root + "/class";
    QVERIFY(::mkdir(devices.c_str(), 0755) == 0);
    QVERIFY(::mkdir(cls.c_str(), 0755) == 0);
    // name, has a device, UART type (-1: no type file)
    struct {
        const char *Name;
        bool Device;
        int Type;
    } entries[] = {
        {"ttyS0", true, 4},  // a real 16550A
        {"ttyS1", true, 0},  // placeholder: unknown UART
        {"ttyS10", true, 4},
        {"ttyS2", true, 4},
        {"ttyUSB0", true, -1},
        {"ttyACM0", true, -1},
        {"tty1", false, -1},  // virtual console
        {"ptmx", false, -1},
    };
    for (const auto &e : entries) {
        const std::string d = cls + "/" + e.Name;
        QVERIFY(::mkdir(d.c_str(), 0755) == 0);
        if (e.Device) {
            const std::string target = devices + "/" + e.Name;
            QVERIFY(::mkdir(target.c_str(), 0755) == 0);
            QVERIFY(::symlink(target.c_str(), (d + "/device").c_str()) == 0);
        }
        if (e.Type >= 0)
            std::ofstream(d + "/type") << e.Type << "\n";
    }
    const Names found = TSysfsSerialSource(cls).SerialDevices();
    QCOMPARE(found, (Names {"ttyACM0", "ttyS0", "ttyS2", "ttyS10", "ttyUSB0"}));
}

QTEST_GUILESS_MAIN(TestPortDiscovery)
#include "tst_PortDiscovery.moc"
