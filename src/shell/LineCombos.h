// The tool bar's port combo and its four line-setting combos, as one: what
// they choose, when they can be changed, and their entries in the settings
// record.
#pragma once

#include "PortList.h"
#include "PortSession.h"

#include <QString>
#include <QStringList>

#include <vector>

class QComboBox;
class QToolBar;
class TComComboBox;
class TComPort;
class TSettingsRecord;

class TLineCombos {
public:
    // Adds the five combos to Bar, in tool-bar order, with their design
    // texts and their names for screen readers.
    explicit TLineCombos(QToolBar *Bar);

    // Fills the port list; a stored port index past its end becomes 0.
    void AddPorts(const QStringList &Names, TSettingsRecord &Settings);
    void AddPorts(const std::vector<TPortEntry> &Entries, TSettingsRecord &Settings);
    // Replaces the port list (a device came or went), each port with what is
    // known of it beside it. What is typed in the combo, its caret and its
    // selection stay as they are; nothing happens when the list is the same.
    void SetPorts(const std::vector<TPortEntry> &Entries);
    // The four line-setting combos follow Port's settings (nullptr: none).
    void Bind(TComPort *Port);
    // Selects the stored entries. PortName (the port last chosen), when
    // given, wins over the stored index: a typed path is in no list, and a
    // listed port may be listed elsewhere next time. It is added when it is
    // not listed. So does BaudRate, a rate typed in.
    void Select(const TSettingsRecord &Settings, const QString &PortName, const QString &BaudRate = QString());
    // The index of each entry; a baud rate typed in keeps the index of the
    // entry selected before it.
    void Store(TSettingsRecord &Settings) const;
    // The baud combo's text when it is not one of its entries, else empty.
    QString TypedBaudRate() const;

    // Rates of today's adapters, listed after the design's; the settings
    // record stores their index like any other.
    static const QStringList MoreBaudRates;
    // Shows Choice: its port, added when not listed, and its line settings;
    // a baud rate not in the list is shown as typed in.
    void SetChoice(const TPortChoice &Choice);
    // Only while the port is closed.
    void SetEnabled(bool Enabled);

    TPortChoice Choice() const;
    QString PortName() const;

private:
    QComboBox *FPort;
    TComComboBox *FBaudRate, *FParity, *FDataBits, *FStopBits;
};
