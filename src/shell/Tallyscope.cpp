#include "main.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char *argv[])
{
    QApplication App(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(TALLYSCOPE_VERSION));
    QCommandLineParser Parser;
    Parser.setApplicationDescription(QApplication::translate("main", "Serial port terminal and monitor."));
    Parser.addHelpOption();
    Parser.addVersionOption();
    Parser.addPositionalArgument(QStringLiteral("file"),
        QApplication::translate("main", "Message file to show in the receive view."), QStringLiteral("[file]"));
    // --help and --version print and exit here; anything else, unknown options included, keeps its old meaning.
    Parser.parse(QApplication::arguments());
    if (Parser.isSet(QStringLiteral("help")))
        Parser.showHelp();
    if (Parser.isSet(QStringLiteral("version")))
        Parser.showVersion();
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
