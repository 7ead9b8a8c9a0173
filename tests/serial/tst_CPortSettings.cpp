// Settings model and port sequences, driven through the fake device: texts,
// presets, re-application rules, callbacks, refused settings, modem lines.
#include "CPort.h"
#include "FakeComDevice.h"
#include "SystemErrors.h"

#include <QtTest>

#include <cerrno>
#include <cstring>
#include <thread>

Q_DECLARE_METATYPE(std::string)

namespace {

struct TFakePort {
    std::shared_ptr<TFakeComState> State = std::make_shared<TFakeComState>();
    TComPort Port {std::make_unique<TFakeComDevice>(State)};
};

int CodeOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const EComPort &e) {
        return e.ErrorCode();
    }
    return 0;
}

}  // namespace

class TestCPortSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void textToBaudRate_data();
    void textToBaudRate();
    void otherTexts_data();
    void otherTexts();
    void textsRoundTrip();
    void eventMask_data();
    void eventMask();
    void flowControlPreset();
    void bufferSizes();
    void devicePath_data();
    void devicePath();
    void errorMessages();

    void setterReappliesOnlyOnChange();
    void lineSettingsReachDevice();
    void callbackOrder();
    void openCloseIdempotent();
    void refusedSettings_data();
    void refusedSettings();
    void refusedWhileOpen();
    void syncMethodWhileOpen();
    void portChangeReopens();
    void modemLinesAndControl();
    void modemQueryFailsAtOpen();
    void abortFailureKeepsPortOpen();
};

void TestCPortSettings::textToBaudRate_data()
{
    QTest::addColumn<std::string>("text");
    QTest::addColumn<int>("rate");
    QTest::newRow("empty") << std::string() << int(br9600);
    QTest::newRow("custom lower") << std::string("custom") << int(brCustom);
    QTest::newRow("CUSTOM") << std::string("CUSTOM") << int(brCustom);
    QTest::newRow("110") << std::string("110") << int(br110);
    QTest::newRow("115200") << std::string("115200") << int(br115200);
    QTest::newRow("256000") << std::string("256000") << int(br256000);
    QTest::newRow("7200 not listed") << std::string("7200") << int(br9600);
    QTest::newRow("padded") << std::string(" 300") << int(br9600);
}

void TestCPortSettings::textToBaudRate()
{
    QFETCH(std::string, text);
    QFETCH(int, rate);
    QCOMPARE(int(TextToBaudRate(text)), rate);
}

void TestCPortSettings::otherTexts_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<std::string>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("parity odd") << "parity" << std::string("odd") << int(prOdd);
    QTest::newRow("parity ODD") << "parity" << std::string("ODD") << int(prOdd);
    QTest::newRow("parity mArK") << "parity" << std::string("mArK") << int(prMark);
    QTest::newRow("parity junk") << "parity" << std::string("x") << int(prNone);
    QTest::newRow("stop 1.5") << "stop" << std::string("1.5") << int(sbOne5StopBits);
    QTest::newRow("stop 2") << "stop" << std::string("2") << int(sbTwoStopBits);
    QTest::newRow("stop empty") << "stop" << std::string() << int(sbOneStopBit);
    QTest::newRow("data 5") << "data" << std::string("5") << int(dbFive);
    QTest::newRow("data 9") << "data" << std::string("9") << int(dbEight);
    QTest::newRow("flow software") << "flow" << std::string("software") << int(fcSoftware);
    QTest::newRow("flow NONE") << "flow" << std::string("NONE") << int(fcNone);
    QTest::newRow("flow empty") << "flow" << std::string() << int(fcCustom);
}

void TestCPortSettings::otherTexts()
{
    QFETCH(QString, kind);
    QFETCH(std::string, text);
    QFETCH(int, value);
    int got = -1;
    if (kind == QLatin1String("parity"))
        got = TextToParity(text);
    else if (kind == QLatin1String("stop"))
        got = TextToStopBits(text);
    else if (kind == QLatin1String("data"))
        got = TextToDataBits(text);
    else
        got = TextToFlowControl(text);
    QCOMPARE(got, value);
}

// Every member's text reads back as the member, and the texts are the fixed ones.
void TestCPortSettings::textsRoundTrip()
{
    const char *rates[] = {"Custom", "110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400",
        "56000", "57600", "115200", "128000", "256000"};
    for (int i = 0; i < BaudRateCount; ++i) {
        QCOMPARE(BaudRateToText(TBaudRate(i)), std::string(rates[i]));
        QCOMPARE(int(TextToBaudRate(rates[i])), i);
        if (i > 0)
            QCOMPARE(BaudRateToValue(TBaudRate(i)), std::stoi(rates[i]));
    }
    const char *parities[] = {"None", "Odd", "Even", "Mark", "Space"};
    for (int i = 0; i < ParityCount; ++i) {
        QCOMPARE(ParityToText(TParityBits(i)), std::string(parities[i]));
        QCOMPARE(int(TextToParity(parities[i])), i);
    }
    const char *stops[] = {"1", "1.5", "2"};
    for (int i = 0; i < StopBitsCount; ++i)
        QCOMPARE(StopBitsToText(TStopBits(i)), std::string(stops[i]));
    const char *flows[] = {"Hardware", "Software", "None", "Custom"};
    for (int i = 0; i < FlowControlCount; ++i)
        QCOMPARE(FlowControlToText(TFlowControl(i)), std::string(flows[i]));
    for (int i = 0; i < DataBitsCount; ++i) {
        QCOMPARE(DataBitsToText(TDataBits(i)), std::to_string(5 + i));
        QCOMPARE(DataBitsToValue(TDataBits(i)), 5 + i);
    }
}

void TestCPortSettings::eventMask_data()
{
    QTest::addColumn<int>("word");
    QTest::addColumn<uint>("mask");
    QTest::newRow("reader set") << 353 << 0x39u;
    QTest::newRow("empty") << 0 << 0u;
    QTest::newRow("all") << 0x3FF << 0x5FFu;
    QTest::newRow("tx empty") << (1 << evTxEmpty) << 0x0004u;
    QTest::newRow("rx flag") << (1 << evRxFlag) << 0x0002u;
    QTest::newRow("ring") << (1 << evRing) << 0x0100u;
    QTest::newRow("break") << (1 << evBreak) << 0x0040u;
    QTest::newRow("error") << (1 << evError) << 0x0080u;
    QTest::newRow("rx80") << (1 << evRx80Full) << 0x0400u;
}

void TestCPortSettings::eventMask()
{
    QFETCH(int, word);
    QFETCH(uint, mask);
    QCOMPARE(EventsToMask(TComEvents::FromWord(uint16_t(word))), mask);
    QCOMPARE(MaskToEvents(mask).Word(), uint16_t(word));
    // Bits outside the table are ignored.
    QCOMPARE(MaskToEvents(mask | 0x0200 | 0x10000).Word(), uint16_t(word));
    QCOMPARE((TComEvents {evRxChar, evCTS, evDSR, evRLSD}.Word()), uint16_t(353));
}

void TestCPortSettings::flowControlPreset()
{
    TFakePort f;
    TComFlowControl &fc = f.Port.FlowControl();
    QCOMPARE(fc.FlowControl(), fcNone);
    fc.SetFlowControl(fcNone);
    fc.SetControlDTR(dtrEnable);
    fc.SetControlRTS(rtsEnable);
    QCOMPARE(fc.FlowControl(), fcCustom);

    fc.SetOutDSRFlow(true);
    fc.SetDSRSensitivity(true);
    fc.SetXonChar(1);
    fc.SetFlowControl(fcHardware);
    QCOMPARE(fc.FlowControl(), fcHardware);
    QCOMPARE(fc.ControlRTS(), rtsHandshake);
    QVERIFY(fc.OutCTSFlow());
    QCOMPARE(fc.ControlDTR(), dtrEnable);
    QVERIFY(fc.OutDSRFlow());
    QVERIFY(fc.DSRSensitivity());
    QCOMPARE(fc.XonChar(), uint8_t(1));

    fc.SetFlowControl(fcSoftware);
    QCOMPARE(fc.FlowControl(), fcSoftware);
    QCOMPARE(fc.ControlRTS(), rtsDisable);
    QVERIFY(!fc.OutCTSFlow());
    QVERIFY(fc.XonXoffIn() && fc.XonXoffOut());

    fc.SetXonXoffIn(false);
    QCOMPARE(fc.FlowControl(), fcCustom);
    fc.SetFlowControl(fcCustom);  // changes nothing
    QVERIFY(!fc.XonXoffIn() && fc.XonXoffOut());
}

void TestCPortSettings::bufferSizes()
{
    TFakePort f;
    TComBuffer &b = f.Port.Buffer();
    QCOMPARE(b.InputSize(), 1024);
    b.SetInputSize(1025);
    QCOMPARE(b.InputSize(), 1024);
    b.SetInputSize(1048576);
    QCOMPARE(b.InputSize(), 1048576);
    b.SetOutputSize(7);
    QCOMPARE(b.OutputSize(), 6);
}

void TestCPortSettings::devicePath_data()
{
    QTest::addColumn<std::string>("port");
    QTest::addColumn<std::string>("path");
    QTest::newRow("bare") << std::string("ttyUSB0") << std::string("/dev/ttyUSB0");
    QTest::newRow("COM1") << std::string("COM1") << std::string("/dev/ttyS0");
    QTest::newRow("com12") << std::string("com12") << std::string("/dev/ttyS11");
    QTest::newRow("Com3") << std::string("Com3") << std::string("/dev/ttyS2");
    QTest::newRow("COM0 is a name") << std::string("COM0") << std::string("/dev/COM0");
    QTest::newRow("COMx is a name") << std::string("COMx") << std::string("/dev/COMx");
    QTest::newRow("path") << std::string("/dev/pts/7") << std::string("/dev/pts/7");
    QTest::newRow("relative path") << std::string("pts/7") << std::string("pts/7");
    QTest::newRow("case kept") << std::string("ttyACM0") << std::string("/dev/ttyACM0");
    QTest::newRow("empty") << std::string() << std::string();
}

void TestCPortSettings::devicePath()
{
    QFETCH(std::string, port);
    QFETCH(std::string, path);
    QCOMPARE(ComPortDevicePath(port), path);
}

void TestCPortSettings::errorMessages()
{
    EComPort open(CError_OpenFailed, ENOENT);
    QCOMPARE(open.ErrorCode(), 1);
    QCOMPARE(open.SystemErrorCode(), ENOENT);
    const std::string m = open.what();
    QVERIFY(m.rfind("Unable to open com port", 0) == 0);
    QVERIFY(m.ends_with(" (system error code: 2)"));

    TOpenFacts facts;
    facts.Group = "dialout";
    const EComPort denied(CError_OpenFailed, EACCES, OpenFailureCause(EACCES, facts));
    QVERIFY(denied.Cause().find("sudo usermod -aG dialout $USER") != std::string::npos);
    QVERIFY(std::string(denied.what()).find("dialout") != std::string::npos);
    QVERIFY(std::string(denied.what()).ends_with("(system error code: 13)"));
    // Without facts the cure still says where to turn; steps other than open
    // and configure get the system's words alone.
    QVERIFY(EComPort(CError_OpenFailed, EACCES).Cause().find("administrator") != std::string::npos);
    QCOMPARE(EComPort(CError_ReadFailed, EIO).Cause(), std::string(std::strerror(EIO)) + ".");

    EComPort noSystem(CError_ConnChangeProp);
    QCOMPARE(std::string(noSystem.what()), std::string("Cannot set property while connected"));
    QCOMPARE(noSystem.SystemErrorCode(), -1);
    QCOMPARE(ComErrorText(23), std::string("Registry error"));
    QCOMPARE(ComErrorText(20), std::string("Cannot wait for event if event thread is created"));
    QVERIFY(EComPort(CError_ReadFailed, EIO).DeviceLost());
    QVERIFY(!EComPort(CError_ReadFailed, EBADF).DeviceLost());
}

void TestCPortSettings::setterReappliesOnlyOnChange()
{
    TFakePort f;
    f.Port.SetBaudRate(br115200);  // closed: stored only
    QCOMPARE(f.State->LineApplies, 0);
    f.Port.OpenDevice();
    QCOMPARE(f.State->LineApplies, 1);
    QCOMPARE(f.State->TimeoutApplies, 1);
    QCOMPARE(f.State->QueueApplies, 1);

    f.Port.SetBaudRate(br57600);
    f.Port.SetBaudRate(br57600);
    QCOMPARE(f.State->LineApplies, 2);
    QCOMPARE(f.State->Dcb.BaudRate, 57600u);
    f.Port.Parity().SetBits(prEven);
    f.Port.Parity().SetBits(prEven);
    f.Port.FlowControl().SetControlDTR(dtrEnable);
    f.Port.FlowControl().SetControlDTR(dtrEnable);
    QCOMPARE(f.State->LineApplies, 4);
    // Writing the preset re-applies even when nothing changes.
    f.Port.FlowControl().SetFlowControl(fcNone);
    f.Port.FlowControl().SetFlowControl(fcNone);
    QCOMPARE(f.State->LineApplies, 6);

    f.Port.Timeouts().SetReadInterval(100);
    f.Port.Timeouts().SetReadInterval(100);
    QCOMPARE(f.State->TimeoutApplies, 2);
    f.Port.Buffer().SetInputSize(1025);  // stored 1024: equal compare is before evening
    QCOMPARE(f.State->QueueApplies, 2);
    f.Port.Buffer().SetInputSize(1024);
    QCOMPARE(f.State->QueueApplies, 2);

    // Whole-group assignment always re-applies.
    TComTimeouts t;
    t.Assign(f.Port.Timeouts());
    f.Port.SetTimeouts(t);
    QCOMPARE(f.State->TimeoutApplies, 3);
    TComParity p;
    p.SetBits(prMark);
    f.Port.SetParity(p);
    QCOMPARE(f.Port.Parity().Bits(), prMark);
    QCOMPARE(f.State->LineApplies, 7);

    // Events take effect at the next open only.
    f.Port.SetEvents(TComEvents());
    QCOMPARE(f.State->LineApplies, 7);
}

void TestCPortSettings::lineSettingsReachDevice()
{
    TFakePort f;
    TComPort &p = f.Port;
    p.SetBaudRate(brCustom);
    p.SetCustomBaudRate(250000);
    p.SetDataBits(dbSeven);
    p.SetStopBits(sbTwoStopBits);
    p.Parity().SetBits(prSpace);
    p.Parity().SetCheck(true);
    p.Parity().SetReplace(true);
    p.Parity().SetReplaceChar('?');
    p.FlowControl().SetFlowControl(fcHardware);
    p.FlowControl().SetControlDTR(dtrEnable);
    p.SetEventChar(0x0D);
    p.Timeouts().SetReadInterval(-1);
    p.Timeouts().SetReadTotalConstant(100);
    p.OpenDevice();

    const TComDCB &d = f.State->Dcb;
    QCOMPARE(d.BaudRate, 250000u);
    QCOMPARE(d.ByteSize, uint8_t(7));
    QCOMPARE(d.StopBitsCode, uint8_t(2));
    QCOMPARE(d.ParityCode, uint8_t(4));
    QVERIFY(d.Parity && d.ErrorChar);
    QCOMPARE(d.ErrorCharValue, uint8_t('?'));
    QVERIFY(d.OutxCtsFlow);
    QCOMPARE(d.RtsControl, uint8_t(2));
    QCOMPARE(d.DtrControl, uint8_t(1));
    QCOMPARE(d.EvtChar, uint8_t(0x0D));
    QCOMPARE(d.XonLim, uint16_t(256));
    QCOMPARE(d.XoffLim, uint16_t(256));
    QCOMPARE(f.State->Timeouts.ReadIntervalTimeout, 0xFFFFFFFFu);
    QCOMPARE(f.State->Timeouts.ReadTotalTimeoutConstant, 100u);

    p.Parity().SetReplace(false);  // no replacement: no replacement character either
    QVERIFY(!f.State->Dcb.ErrorChar);
    QCOMPARE(f.State->Dcb.ErrorCharValue, uint8_t(0));
    p.Buffer().SetInputSize(1048576);
    p.ApplyLineSettings();
    QCOMPARE(f.State->Dcb.XonLim, uint16_t(0));
    p.SetBaudRate(br9600);  // a fixed rate ignores CustomBaudRate
    QCOMPARE(f.State->Dcb.BaudRate, 9600u);
}

void TestCPortSettings::callbackOrder()
{
    TFakePort f;
    f.State->ModemStatus = MS_CTS_ON | MS_RLSD_ON;
    std::vector<std::string> calls;
    TComPort &p = f.Port;
    auto note = [&calls](const char *name) { return [&calls, name](TCustomComPort *) { calls.push_back(name); }; };
    auto signal = [&calls, &p](const char *name) {
        return [&calls, &p, name](TCustomComPort *sender, bool on) {
            QCOMPARE(sender, &p);
            calls.push_back(std::string(name) + (on ? "=1" : "=0"));
        };
    };
    p.OnBeforeOpen = note("BeforeOpen");
    p.OnAfterOpen = [&](TCustomComPort *) {
        calls.push_back("AfterOpen");
        QVERIFY(p.Connected());
    };
    p.OnBeforeClose = note("BeforeClose");
    p.OnAfterClose = [&](TCustomComPort *) {
        calls.push_back("AfterClose");
        QVERIFY(!p.Connected());
    };
    p.OnCTSChange = signal("CTS");
    p.OnDSRChange = signal("DSR");
    p.OnRLSDChange = signal("RLSD");
    p.OpenDevice();
    p.CloseDevice();
    QCOMPARE(calls,
        (std::vector<std::string> {"BeforeOpen", "AfterOpen", "CTS=1", "DSR=0", "RLSD=1", "CTS=0", "DSR=0", "RLSD=0",
            "BeforeClose", "AfterClose"}));
    QCOMPARE(f.State->Log, (std::vector<std::string> {"open", "queues", "line", "timeouts", "abort", "close"}));
}

void TestCPortSettings::openCloseIdempotent()
{
    TFakePort f;
    int callbacks = 0;
    f.Port.OnBeforeOpen = f.Port.OnBeforeClose = [&](TCustomComPort *) { ++callbacks; };
    f.Port.CloseDevice();
    QCOMPARE(callbacks, 0);
    f.Port.SetConnected(true);
    f.Port.OpenDevice();
    f.Port.SetConnected(true);
    QCOMPARE(callbacks, 1);
    QCOMPARE(f.State->Opens, 1);
    f.Port.SetConnected(false);
    f.Port.CloseDevice();
    QCOMPARE(callbacks, 2);
    // Each open acquires a new handle.
    f.Port.OpenDevice();
    QCOMPARE(f.State->Opens, 2);
}

void TestCPortSettings::refusedSettings_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<int>("code");
    QTest::newRow("open") << 0 << 1;
    QTest::newRow("queues") << 1 << 9;
    QTest::newRow("line") << 2 << 7;
    QTest::newRow("timeouts") << 3 << 8;
}

// A refusal at open leaves the port closed, the device released and nothing
// after the failing step applied.
void TestCPortSettings::refusedSettings()
{
    QFETCH(int, which);
    QFETCH(int, code);
    TFakePort f;
    int *errors[] = {&f.State->OpenError, &f.State->QueueError, &f.State->LineError, &f.State->TimeoutError};
    *errors[which] = EINVAL;
    bool afterOpen = false;
    f.Port.OnAfterOpen = [&](TCustomComPort *) { afterOpen = true; };
    try {
        f.Port.OpenDevice();
        QFAIL("open succeeded");
    } catch (const EComPort &e) {
        QCOMPARE(e.ErrorCode(), code);
        QCOMPARE(e.SystemErrorCode(), EINVAL);
        QVERIFY(std::string(e.what()).ends_with("(system error code: 22)"));
    }
    QVERIFY(!f.Port.Connected());
    QVERIFY(!afterOpen);
    QVERIFY(!f.State->IsOpen);
    QCOMPARE(f.Port.DeviceHandle(), -1);
    // Fixed, it opens.
    *errors[which] = 0;
    f.Port.OpenDevice();
    QVERIFY(f.Port.Connected());
}

void TestCPortSettings::refusedWhileOpen()
{
    TFakePort f;
    f.Port.OpenDevice();
    f.State->LineError = EINVAL;
    f.State->TimeoutError = EINVAL;
    f.State->QueueError = EINVAL;
    QCOMPARE(CodeOf([&] { f.Port.SetBaudRate(br256000); }), 7);
    QCOMPARE(f.Port.BaudRate(), br256000);  // the value stays stored
    QCOMPARE(CodeOf([&] { f.Port.Timeouts().SetWriteTotalConstant(5); }), 8);
    QCOMPARE(f.Port.Timeouts().WriteTotalConstant(), 5);
    QCOMPARE(CodeOf([&] { f.Port.Buffer().SetOutputSize(4096); }), 9);
    QCOMPARE(f.Port.Buffer().OutputSize(), 4096);
    QVERIFY(f.Port.Connected());
}

void TestCPortSettings::syncMethodWhileOpen()
{
    TFakePort f;
    f.Port.SetSyncMethod(smNone);  // closed: stored
    QCOMPARE(f.Port.SyncMethod(), smNone);
    f.Port.OpenDevice();
    try {
        f.Port.SetSyncMethod(smWindowSync);
        QFAIL("no error");
    } catch (const EComPort &e) {
        QCOMPARE(e.ErrorCode(), 14);
        QCOMPARE(e.SystemErrorCode(), -1);
        QCOMPARE(std::string(e.what()), std::string("Cannot set property while connected"));
    }
    QCOMPARE(f.Port.SyncMethod(), smNone);
    f.Port.SetSyncMethod(smNone);  // equal: no error
}

void TestCPortSettings::portChangeReopens()
{
    TFakePort f;
    std::vector<std::string> calls;
    f.Port.OnBeforeOpen = [&](TCustomComPort *) { calls.push_back("open"); };
    f.Port.OnBeforeClose = [&](TCustomComPort *) { calls.push_back("close"); };
    f.Port.SetPort("ttyUSB0");
    QVERIFY(calls.empty());
    f.Port.OpenDevice();
    QCOMPARE(f.State->OpenPath, std::string("/dev/ttyUSB0"));
    f.Port.SetPort("ttyusb0");  // compared with letter case: a change
    QCOMPARE(calls, (std::vector<std::string> {"open", "close", "open"}));
    QCOMPARE(f.State->OpenPath, std::string("/dev/ttyusb0"));

    // The reopen under the new name fails: the port stays closed.
    f.State->OpenError = ENOENT;
    QCOMPARE(CodeOf([&] { f.Port.SetPort("COM9"); }), 1);
    QVERIFY(!f.Port.Connected());
    QCOMPARE(f.Port.Port(), std::string("COM9"));
    QCOMPARE(f.State->OpenPath, std::string("/dev/ttyS8"));
}

void TestCPortSettings::modemLinesAndControl()
{
    TFakePort f;
    f.State->ModemStatus = MS_DSR_ON | MS_RING_ON;
    f.Port.FlowControl().SetControlDTR(dtrEnable);
    f.Port.FlowControl().SetControlRTS(rtsEnable);
    f.Port.OpenDevice();
    QVERIFY(f.State->Dtr && f.State->Rts);
    const TComModemLines lines = f.Port.QueryModemLines();
    QVERIFY(!lines.CTS && lines.DSR && lines.Ring && !lines.RLSD);
    f.Port.FlowControl().SetControlDTR(dtrDisable);  // drops at once
    QVERIFY(!f.State->Dtr && f.State->Rts);
    f.Port.FlowControl().SetControlRTS(rtsDisable);
    QVERIFY(!f.State->Rts);
    f.Port.FlowControl().SetControlDTR(dtrEnable);
    QVERIFY(f.State->Dtr);
    f.State->ModemError = EIO;
    QCOMPARE(CodeOf([&] { f.Port.QueryModemLines(); }), 11);
}

// A failing line read at the end of the open reaches the caller; the port stays open.
void TestCPortSettings::modemQueryFailsAtOpen()
{
    TFakePort f;
    f.State->ModemError = EPROTO;
    QCOMPARE(CodeOf([&] { f.Port.OpenDevice(); }), 11);
    QVERIFY(f.Port.Connected());
}

void TestCPortSettings::abortFailureKeepsPortOpen()
{
    TFakePort f;
    f.Port.OpenDevice();
    f.State->AbortError = EPROTO;
    bool afterClose = false;
    f.Port.OnAfterClose = [&](TCustomComPort *) { afterClose = true; };
    QCOMPARE(CodeOf([&] { f.Port.CloseDevice(); }), 5);
    QVERIFY(f.Port.Connected());
    QVERIFY(!afterClose);
    f.State->AbortError = 0;
    f.Port.CloseDevice();
    QVERIFY(afterClose);
}

QTEST_GUILESS_MAIN(TestCPortSettings)
#include "tst_CPortSettings.moc"
