#include "main.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication App(argc, argv);
    QStringList Arguments = QApplication::arguments();
    Arguments.removeFirst();
    std::unique_ptr<TMainForm> MainForm = CreateProgram(Arguments);
    MainForm->show();
    const int Result = QApplication::exec();
    // The reader thread is stopped and joined here, before the application
    // object goes.
    MainForm.reset();
    return Result;
}
