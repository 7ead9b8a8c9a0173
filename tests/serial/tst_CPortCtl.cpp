// TComComboBox: lists, selection of the bound port's value, Text, user
// picks with and without AutoApply, and the port's destruction.
#include "CPortCtl.h"
#include "FakeComDevice.h"
#include "PortDiscovery.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

struct TListSource : TSerialDeviceSource {
    std::vector<std::string> List;
    std::vector<std::string> SerialDevices() const override { return List; }
};

std::unique_ptr<TComPort> FakePort(std::shared_ptr<TFakeComState> state = nullptr)
{
    if (!state)
        state = std::make_shared<TFakeComState>();
    return std::make_unique<TComPort>(std::make_unique<TFakeComDevice>(state));
}

QStringList Items(const QComboBox &box)
{
    QStringList items;
    for (int i = 0; i < box.count(); ++i)
        items << box.itemText(i);
    return items;
}

// The user picks the item below the current one with the keyboard.
void PickNext(TComComboBox &box)
{
    box.setFocus();
    QTest::keyClick(&box, Qt::Key_Down);
}

}  // namespace

class TestCPortCtl : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lists_data();
    void lists();
    void selectsBoundValue();
    void textReadWrite();
    void editableShowsAnyText();
    void userPick();
    void capitalItems();
    void portDestroyed();
    void portList();
};

void TestCPortCtl::lists_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("none") << int(cpNone) << QStringList();
    QTest::newRow("baud") << int(cpBaudRate)
                          << QStringList {QStringLiteral("Custom"), QStringLiteral("110"), QStringLiteral("300"),
                                 QStringLiteral("600"), QStringLiteral("1200"), QStringLiteral("2400"),
                                 QStringLiteral("4800"), QStringLiteral("9600"), QStringLiteral("14400"),
                                 QStringLiteral("19200"), QStringLiteral("38400"), QStringLiteral("56000"),
                                 QStringLiteral("57600"), QStringLiteral("115200"), QStringLiteral("128000"),
                                 QStringLiteral("256000")};
    QTest::newRow("data bits") << int(cpDataBits)
                               << QStringList {QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"),
                                      QStringLiteral("8")};
    QTest::newRow("stop bits") << int(cpStopBits)
                               << QStringList {QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")};
    QTest::newRow("parity") << int(cpParity)
                            << QStringList {QStringLiteral("None"), QStringLiteral("Odd"), QStringLiteral("Even"),
                                   QStringLiteral("Mark"), QStringLiteral("Space")};
    QTest::newRow("flow") << int(cpFlowControl)
                          << QStringList {QStringLiteral("Hardware"), QStringLiteral("Software"),
                                 QStringLiteral("None"), QStringLiteral("Custom")};
}

// Unbound, every list selects its first item; the list is always a drop-down list.
void TestCPortCtl::lists()
{
    QFETCH(int, kind);
    QFETCH(QStringList, items);
    TComComboBox box;
    QVERIFY(!box.isEditable());
    box.SetComProperty(TComProperty(kind));
    QCOMPARE(Items(box), items);
    QCOMPARE(box.currentIndex(), items.isEmpty() ? -1 : 0);
}

void TestCPortCtl::selectsBoundValue()
{
    auto port = FakePort();
    TComComboBox baud, parity, flow;
    baud.SetComProperty(cpBaudRate);
    baud.SetComPort(port.get());
    QCOMPARE(baud.currentIndex(), 7);
    QCOMPARE(baud.Text(), QStringLiteral("9600"));
    QCOMPARE(port->BaudRate(), br9600);  // binding does not change the port

    port->Parity().SetBits(prSpace);
    parity.SetComPort(port.get());  // bound first, kind after
    parity.SetComProperty(cpParity);
    QCOMPARE(parity.Text(), QStringLiteral("Space"));
    QCOMPARE(parity.Select().Parity, prSpace);

    port->FlowControl().SetFlowControl(fcHardware);
    flow.SetComProperty(cpFlowControl);
    flow.SetComPort(port.get());
    QCOMPARE(flow.Text(), QStringLiteral("Hardware"));
}

void TestCPortCtl::textReadWrite()
{
    TComComboBox box;
    box.SetComProperty(cpBaudRate);
    box.SetText(QStringLiteral("9600"));
    QCOMPARE(box.currentIndex(), 7);
    box.SetText(QStringLiteral("7200"));  // not listed: selection kept
    QCOMPARE(box.currentIndex(), 7);
    box.SetText(QStringLiteral("cUsToM"));
    QCOMPARE(box.currentIndex(), 0);
    box.setCurrentIndex(-1);
    QCOMPARE(box.Text(), QString());
    QCOMPARE(TextToBaudRate(box.Text().toStdString()), br9600);
}

// Editable (the tool bar's baud combo), a text no item has is shown and read.
void TestCPortCtl::editableShowsAnyText()
{
    TComComboBox box;
    box.SetComProperty(cpBaudRate);
    box.setEditable(true);
    box.SetText(QStringLiteral("7200"));
    QCOMPARE(box.Text(), QStringLiteral("7200"));
    box.SetText(QStringLiteral("115200"));
    QCOMPARE(box.currentIndex(), 13);
    QCOMPARE(box.Text(), QStringLiteral("115200"));
}

void TestCPortCtl::userPick()
{
    auto state = std::make_shared<TFakeComState>();
    auto port = FakePort(state);
    TComComboBox box;
    box.SetComProperty(cpBaudRate);
    box.SetComPort(port.get());
    box.show();
    QSignalSpy changes(&box, &TComComboBox::Change);

    PickNext(box);  // 14400, not applied
    QCOMPARE(changes.count(), 1);
    QCOMPARE(box.Select().BaudRate, br14400);
    QCOMPARE(port->BaudRate(), br9600);

    box.SetAutoApply(true);
    port->OpenDevice();
    const int applies = state->LineApplies;
    bool appliedBeforeChange = false;
    connect(&box, &TComComboBox::Change, this, [&] { appliedBeforeChange = port->BaudRate() == br19200; });
    PickNext(box);  // 19200, written to the open port at once
    QCOMPARE(changes.count(), 2);
    QCOMPARE(port->BaudRate(), br19200);
    QCOMPARE(state->Dcb.BaudRate, 19200u);
    QCOMPARE(state->LineApplies, applies + 1);
    QVERIFY(appliedBeforeChange);
}

// A combo that shows its items in capitals still parses picks and finds values.
void TestCPortCtl::capitalItems()
{
    auto port = FakePort();
    port->SetBaudRate(brCustom);
    TComComboBox box;
    box.SetComProperty(cpBaudRate);
    for (int i = 0; i < box.count(); ++i)
        box.setItemText(i, box.itemText(i).toUpper());
    box.SetComPort(port.get());
    QCOMPARE(box.Text(), QStringLiteral("CUSTOM"));
    QCOMPARE(box.Select().BaudRate, brCustom);
}

void TestCPortCtl::portDestroyed()
{
    auto port = FakePort();
    port->SetDataBits(dbSeven);
    TComComboBox box;
    box.SetComProperty(cpDataBits);
    box.SetComPort(port.get());
    QCOMPARE(box.currentIndex(), 2);
    port.reset();
    QCOMPARE(box.ComPort(), nullptr);
    QCOMPARE(box.currentIndex(), 0);
    box.show();
    PickNext(box);  // still usable, nothing to apply to
    QCOMPARE(box.Select().DataBits, dbSix);

    // A combo destroyed first leaves no notice behind on the port.
    auto other = FakePort();
    {
        TComComboBox shortLived;
        shortLived.SetComProperty(cpParity);
        shortLived.SetComPort(other.get());
    }
    other.reset();
}

void TestCPortCtl::portList()
{
    TListSource source;
    source.List = {"ttyUSB0", "ttyACM1", "ttyS2"};
    auto port = FakePort();
    port->SetPort("ttyS2");
    TComComboBox box;
    box.SetPortSource(&source);
    box.SetComPort(port.get());
    box.SetComProperty(cpPort);
    QCOMPARE(Items(box), (QStringList {QStringLiteral("ttyACM1"), QStringLiteral("ttyS2"), QStringLiteral("ttyUSB0")}));
    QCOMPARE(box.Text(), QStringLiteral("ttyS2"));
    port->SetPort("/dev/pts/3");  // not in the list: nothing selected after a rebind
    TComComboBox other;
    other.SetPortSource(&source);
    other.SetComProperty(cpPort);
    other.SetComPort(port.get());
    QCOMPARE(other.currentIndex(), -1);
}

QTEST_MAIN(TestCPortCtl)
#include "tst_CPortCtl.moc"
