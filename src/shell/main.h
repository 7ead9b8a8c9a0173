#pragma once

#include <QMainWindow>

// The main window: tool bars, views and commands.
class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget *parent = nullptr);
};
