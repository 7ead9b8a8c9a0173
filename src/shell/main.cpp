#include "main.h"

#include "CPortCtl.h"
#include "PortDiscovery.h"

#include <QComboBox>
#include <QMessageBox>
#include <QToolBar>
#include <QToolButton>

TMainForm::TMainForm(QWidget *parent) : QMainWindow(parent), FPort(std::make_unique<TComPort>())
{
    setWindowTitle(QStringLiteral("Corvane Tallyscope"));
    resize(900, 600);

    QToolBar *bar = addToolBar(QStringLiteral("Port"));
    bar->setObjectName(QStringLiteral("PortBar"));
    PortButton = new QToolButton(bar);
    PortButton->setObjectName(QStringLiteral("PortButton"));
    connect(PortButton, &QToolButton::clicked, this, &TMainForm::TogglePort);
    bar->addWidget(PortButton);
    bar->addSeparator();

    // Device names are case-sensitive and shown as they are; a path such
    // as /dev/pts/7 can be typed in.
    CBoxPort = new QComboBox(bar);
    CBoxPort->setObjectName(QStringLiteral("CBoxPort"));
    CBoxPort->setEditable(true);
    CBoxPort->setMinimumContentsLength(12);
    std::vector<std::string> ports;
    try {
        AddSerialCommPorts(ports);
        AddModemEntries(ports);
    } catch (const std::exception &) {
        // Go on with what was found.
    }
    for (const std::string &p : ports)
        CBoxPort->addItem(QString::fromStdString(p));
    if (CBoxPort->count() > 0)
        CBoxPort->setCurrentIndex(0);
    bar->addWidget(CBoxPort);

    struct {
        TComComboBox *&Box;
        TComProperty Kind;
        const char *Name;
    } combos[] = {{CBoxBaudRate, cpBaudRate, "CBoxBaudRate"},
                  {CBoxParityBits, cpParity, "CBoxParityBits"},
                  {CBoxDataBits, cpDataBits, "CBoxDataBits"},
                  {CBoxStopBits, cpStopBits, "CBoxStopBits"}};
    for (auto &c : combos) {
        c.Box = new TComComboBox(bar);
        c.Box->setObjectName(QLatin1String(c.Name));
        c.Box->SetComProperty(c.Kind);
        c.Box->SetComPort(FPort.get());
        bar->addWidget(c.Box);
    }
    ShowPortState();
}

TMainForm::~TMainForm()
{
    // The combos unbind themselves when the port goes.
    FPort.reset();
}

void TMainForm::TogglePort()
{
    if (FPort->Connected()) {
        try {
            FPort->CloseDevice();
        } catch (const EComPort &e) {
            QMessageBox::warning(this, QStringLiteral("Close Port"), QString::fromStdString(e.what()));
        }
    } else {
        FPort->SetPort(CBoxPort->currentText().toStdString());
        FPort->SetBaudRate(TextToBaudRate(CBoxBaudRate->Text().toStdString()));
        FPort->Parity().SetBits(TextToParity(CBoxParityBits->Text().toStdString()));
        FPort->SetDataBits(TextToDataBits(CBoxDataBits->Text().toStdString()));
        FPort->SetStopBits(TextToStopBits(CBoxStopBits->Text().toStdString()));
        try {
            FPort->OpenDevice();
        } catch (const EComPort &e) {
            QMessageBox::warning(this, QStringLiteral("Open Port"), QString::fromStdString(e.what()));
        }
    }
    ShowPortState();
}

void TMainForm::ShowPortState()
{
    const bool open = FPort->Connected();
    PortButton->setText(open ? QStringLiteral("Close Port") : QStringLiteral("Open Port"));
    for (QWidget *w : {static_cast<QWidget *>(CBoxPort), static_cast<QWidget *>(CBoxBaudRate),
                       static_cast<QWidget *>(CBoxParityBits),
                       static_cast<QWidget *>(CBoxDataBits), static_cast<QWidget *>(CBoxStopBits)})
        w->setEnabled(!open);
}
