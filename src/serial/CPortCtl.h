#pragma once
// TComComboBox: a drop-down list bound to one property of a port (baud
// rate, data bits, stop bits, parity, handshaking or the port name).

#include "CPort.h"

#include <QComboBox>

class TSerialDeviceSource;

// The state behind a TComComboBox: its kind, binding and pending values.
class TComSelect {
public:
    TComProperty ComProperty = cpNone;
    bool AutoApply = false;
    TCustomComPort *ComPort = nullptr;
    std::string Port;
    TBaudRate BaudRate = br9600;
    TDataBits DataBits = dbEight;
    TStopBits StopBits = sbOneStopBit;
    TParityBits Parity = prNone;
    TFlowControl FlowControl = fcNone;

    // Parses an item's text into the pending value of the current kind.
    void Parse(const std::string &text);
    // Writes the pending value of the current kind to the bound port.
    void ApplyToPort();
    // The text of the bound port's current value for the current kind.
    std::string PortValueText() const;
};

class TComComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TComComboBox(QWidget *parent = nullptr);
    ~TComComboBox() override;

    TCustomComPort *ComPort() const { return FSelect.ComPort; }
    // Binds (or unbinds, nullptr) and selects the port's current value;
    // binding does not change the port.
    void SetComPort(TCustomComPort *port);
    TComProperty ComProperty() const { return FSelect.ComProperty; }
    // Refills the list. For cpPort it throws EComPort 23 when the device
    // list cannot be read (the list then stays empty).
    void SetComProperty(TComProperty value);
    bool AutoApply() const { return FSelect.AutoApply; }
    void SetAutoApply(bool value) { FSelect.AutoApply = value; }

    // The selected item's text; empty when none is selected. An editable
    // combo gives the text it shows, which may be typed in.
    QString Text() const;
    // Selects the first item equal to text (case-insensitive); else keeps
    // the selection, and an editable combo shows text instead.
    void SetText(const QString &text);

    const TComSelect &Select() const { return FSelect; }
    // Where cpPort lists come from (default: the machine's sysfs). Not owned.
    void SetPortSource(const TSerialDeviceSource *source) { FPortSource = source; }

Q_SIGNALS:
    // After the user picked an item (and, with AutoApply, after the port
    // was written).
    void Change();

private:
    void UserPicked(int index);
    void SelectPortValue();
    void PortDestroyed();

    TComSelect FSelect;
    int FNoticeId = 0;
    const TSerialDeviceSource *FPortSource = nullptr;
};
