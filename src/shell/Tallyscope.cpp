#include "QuitSignals.h"
#include "SendClass.h"
#include "main.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include <cstdio>

namespace {

// --help and --version print and exit before any window system is touched, so they work over ssh and in scripts
// with no display. Anything else, unknown options included, keeps its old meaning.
void AnswerHelpOrVersion(int &Argc, char **Argv)
{
    const QCoreApplication Probe(Argc, Argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TALLYSCOPE_VERSION));
    QCommandLineParser Parser;
    Parser.setApplicationDescription(QCoreApplication::translate("main",
        "Serial port terminal and monitor.\n\n"
        "A port on another machine is typed into the port box as rfc2217://HOST:PORT (Telnet with serial port\n"
        "control) or socket://HOST:PORT (raw TCP). Neither carries encryption or authentication: use them on\n"
        "trusted networks only, or through an SSH tunnel."));
    Parser.addHelpOption();
    Parser.addVersionOption();
    Parser.addPositionalArgument(QStringLiteral("file"),
        QCoreApplication::translate("main", "Message file to show in the receive view."), QStringLiteral("[file]"));
    Parser.parse(QCoreApplication::arguments());
    if (Parser.isSet(QStringLiteral("help")))
        Parser.showHelp();
    if (Parser.isSet(QStringLiteral("version")))
        Parser.showVersion();
}

}  // namespace

int main(int argc, char *argv[])
{
    AnswerHelpOrVersion(argc, argv);
    QApplication App(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(TALLYSCOPE_VERSION));
    // Lets the desktop match the windows to the installed entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(TALLYSCOPE_APP_ID));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("tallyscope"), QIcon(QStringLiteral(":/icons/tallyscope.png"))));
    QStringList Arguments = QApplication::arguments();
    Arguments.removeFirst();
    // A quit asked for by a signal (the session ending, a service manager)
    // has nobody to answer a box: what the exit has to tell goes to the
    // error output, and the program ends.
    struct TErrorOutput : TRuntimeMessages {
        void Warning(QWidget *, const QString &Caption, const QString &Text) override
        {
            std::fprintf(stderr, "tallyscope: %s: %s\n", qPrintable(Caption), qPrintable(Text));
        }
        void StandardError(const QString &Text) override { std::fprintf(stderr, "tallyscope: %s\n", qPrintable(Text)); }
    } ErrorOutput;
    std::unique_ptr<TMainForm> MainForm = CreateProgram(Arguments);
    MainForm->show();
    // A quit asked for by a signal takes the window's own way out, which
    // saves what the user set and typed.
    TQuitSignals Quit;
    QObject::connect(&Quit, &TQuitSignals::Requested, MainForm.get(), [&MainForm, &ErrorOutput] {
        MainForm->SetMessages(&ErrorOutput);
        MainForm->close();
    });
    const int Result = QApplication::exec();
    // The reader thread is stopped and joined here, before the application
    // object goes.
    MainForm.reset();
    return Result;
}
