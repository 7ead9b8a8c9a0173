#include "CommandLine.h"
#include "PortList.h"
#include "QuitSignals.h"
#include "SendClass.h"
#include "main.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstdlib>

namespace {

void PrintPorts()
{
    for (const TPortEntry &Entry : ListPorts(TPortRoots()))
        std::printf("%s\n", Entry.Port.c_str());
}

[[noreturn]] void RefuseAndExit(const QString &Error)
{
    std::fprintf(stderr, "tallyscope: %s\nTry 'tallyscope --help' for more information.\n", qPrintable(Error));
    std::exit(TCommandLine::ExitRefused);
}

// --help, --version, the port list and refused values are answered before
// any window system is touched, so they work over ssh and in scripts with no
// display. Options of the window system are left for the application that
// takes them.
void AnswerWithoutDisplay(int &Argc, char **Argv)
{
    const QCoreApplication Probe(Argc, Argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TALLYSCOPE_VERSION));
    TCommandLine Line;
    switch (Line.Parse(QCoreApplication::arguments(), true)) {
    case TCommandLine::TOutcome::Help:
        // The parser's own handling, for the window system's options too.
        if (Line.Parser().isSet(QStringLiteral("help-all")))
            Line.Parser().process(QCoreApplication::arguments());
        Line.Parser().showHelp();
    case TCommandLine::TOutcome::Version:
        Line.Parser().showVersion();
    case TCommandLine::TOutcome::ListPorts:
        PrintPorts();
        std::exit(0);
    case TCommandLine::TOutcome::Refused:
        RefuseAndExit(Line.Error());
    case TCommandLine::TOutcome::Run:
        break;
    }
}

}  // namespace

int main(int argc, char *argv[])
{
    AnswerWithoutDisplay(argc, argv);
    QApplication App(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(TALLYSCOPE_VERSION));
    // Lets the desktop match the windows to the installed entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(TALLYSCOPE_APP_ID));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("tallyscope"), QIcon(QStringLiteral(":/icons/tallyscope.png"))));
    TCommandLine Line;
    if (Line.Parse(QApplication::arguments()) != TCommandLine::TOutcome::Run)
        RefuseAndExit(Line.Error());
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
    std::unique_ptr<TMainForm> MainForm = CreateProgram(QStringList {Line.Options().File});
    MainForm->SetStartOptions(Line.Options());
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
