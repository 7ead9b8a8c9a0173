#pragma once

#include <QMainWindow>

#include <memory>

class QComboBox;
class QToolButton;
class TComComboBox;
class TComPort;

// The main window: tool bars, views and commands.
class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget *parent = nullptr);
    ~TMainForm() override;

    // Opens the port when it is closed and closes it when it is open.
    void TogglePort();

    TComPort &Port() { return *FPort; }
    QComboBox *CBoxPort = nullptr;
    TComComboBox *CBoxBaudRate = nullptr;
    TComComboBox *CBoxParityBits = nullptr;
    TComComboBox *CBoxDataBits = nullptr;
    TComComboBox *CBoxStopBits = nullptr;
    QToolButton *PortButton = nullptr;

private:
    void ShowPortState();

    std::unique_ptr<TComPort> FPort;
};
