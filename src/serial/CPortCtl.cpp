#include "CPortCtl.h"

#include "PortDiscovery.h"

#include <QApplication>
#include <QMessageBox>

void TComSelect::Parse(const std::string &text)
{
    switch (ComProperty) {
    case cpPort:
        Port = text;
        break;
    case cpBaudRate:
        BaudRate = TextToBaudRate(text);
        break;
    case cpDataBits:
        DataBits = TextToDataBits(text);
        break;
    case cpStopBits:
        StopBits = TextToStopBits(text);
        break;
    case cpParity:
        Parity = TextToParity(text);
        break;
    case cpFlowControl:
        FlowControl = TextToFlowControl(text);
        break;
    case cpNone:
        break;
    }
}

void TComSelect::ApplyToPort()
{
    if (!ComPort)
        return;
    switch (ComProperty) {
    case cpPort:
        ComPort->SetPort(Port);
        break;
    case cpBaudRate:
        ComPort->SetBaudRate(BaudRate);
        break;
    case cpDataBits:
        ComPort->SetDataBits(DataBits);
        break;
    case cpStopBits:
        ComPort->SetStopBits(StopBits);
        break;
    case cpParity:
        ComPort->Parity().SetBits(Parity);
        break;
    case cpFlowControl:
        ComPort->FlowControl().SetFlowControl(FlowControl);
        break;
    case cpNone:
        break;
    }
}

std::string TComSelect::PortValueText() const
{
    if (!ComPort)
        return std::string();
    switch (ComProperty) {
    case cpPort:
        return ComPort->Port();
    case cpBaudRate:
        return BaudRateToText(ComPort->BaudRate());
    case cpDataBits:
        return DataBitsToText(ComPort->DataBits());
    case cpStopBits:
        return StopBitsToText(ComPort->StopBits());
    case cpParity:
        return ParityToText(ComPort->Parity().Bits());
    case cpFlowControl:
        return FlowControlToText(ComPort->FlowControl().FlowControl());
    case cpNone:
        break;
    }
    return std::string();
}

TComComboBox::TComComboBox(QWidget *parent) : QComboBox(parent)
{
    // A drop-down list: the user can only pick one of the items.
    setEditable(false);
    connect(this, &QComboBox::activated, this, &TComComboBox::UserPicked);
}

TComComboBox::~TComComboBox()
{
    if (FSelect.ComPort)
        FSelect.ComPort->RemoveDestroyNotice(FNoticeId);
}

void TComComboBox::SetComPort(TCustomComPort *port)
{
    if (port == FSelect.ComPort)
        return;
    if (FSelect.ComPort)
        FSelect.ComPort->RemoveDestroyNotice(FNoticeId);
    FSelect.ComPort = port;
    if (port) {
        FNoticeId = port->AddDestroyNotice([this](TCustomComPort *) { PortDestroyed(); });
        SelectPortValue();
    }
}

void TComComboBox::SetComProperty(TComProperty value)
{
    FSelect.ComProperty = value;
    clear();
    QStringList items;
    switch (value) {
    case cpNone:
        break;
    case cpPort: {
        const std::vector<std::string> names = FPortSource ? ListSerialPorts(*FPortSource) : ListSerialPorts();
        for (const std::string &n : names)
            items << QString::fromStdString(n);
        break;
    }
    case cpBaudRate:
        for (int i = 0; i < BaudRateCount; ++i)
            items << QString::fromStdString(BaudRateToText(TBaudRate(i)));
        break;
    case cpDataBits:
        for (int i = 0; i < DataBitsCount; ++i)
            items << QString::fromStdString(DataBitsToText(TDataBits(i)));
        break;
    case cpStopBits:
        for (int i = 0; i < StopBitsCount; ++i)
            items << QString::fromStdString(StopBitsToText(TStopBits(i)));
        break;
    case cpParity:
        for (int i = 0; i < ParityCount; ++i)
            items << QString::fromStdString(ParityToText(TParityBits(i)));
        break;
    case cpFlowControl:
        for (int i = 0; i < FlowControlCount; ++i)
            items << QString::fromStdString(FlowControlToText(TFlowControl(i)));
        break;
    }
    addItems(items);
    if (count() == 0)
        return;
    if (!FSelect.ComPort)
        setCurrentIndex(0);
    else
        SelectPortValue();
}

QString TComComboBox::Text() const
{
    if (isEditable())
        return currentText();
    return currentIndex() < 0 ? QString() : itemText(currentIndex());
}

void TComComboBox::SetText(const QString &text)
{
    for (int i = 0; i < count(); ++i)
        if (itemText(i).compare(text, Qt::CaseInsensitive) == 0) {
            setCurrentIndex(i);
            return;
        }
    if (isEditable())
        setEditText(text);
}

void TComComboBox::SelectPortValue()
{
    if (FSelect.ComProperty == cpNone)
        return;
    const QString value = QString::fromStdString(FSelect.PortValueText());
    for (int i = 0; i < count(); ++i)
        if (itemText(i).compare(value, Qt::CaseInsensitive) == 0) {
            setCurrentIndex(i);
            FSelect.Parse(itemText(i).toStdString());
            return;
        }
    setCurrentIndex(-1);
}

void TComComboBox::PortDestroyed()
{
    FSelect.ComPort = nullptr;
    if (count() > 0)
        setCurrentIndex(0);
}

void TComComboBox::UserPicked(int index)
{
    FSelect.Parse(itemText(index).toStdString());
    if (FSelect.AutoApply && FSelect.ComPort) {
        // A refused setting must not unwind through Qt's event handling: it
        // is shown like any other error of a command.
        try {
            FSelect.ApplyToPort();
        } catch (const std::exception &e) {
            QMessageBox::critical(window(), QApplication::applicationName(), QString::fromStdString(e.what()));
        }
    }
    Q_EMIT Change();
}
