// Writes the designed layout (send window docked left 220 px wide, search
// window docked at the bottom 100 px high and hidden, the main window's
// client area at the designed bounds left 361, top 158, right 1046, bottom
// 664; the window manager adds its frame) to the file named by the argument. Its output is
// resources/default-layout.ini; run it offscreen after changing the docks:
//   QT_QPA_PLATFORM=offscreen build/tests/shell/make_default_layout resources/default-layout.ini
#include "FindUnit.h"
#include "SendUnit.h"
#include "main.h"

#include "DataFolder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_default_layout FILE\n");
        return 2;
    }
    QTemporaryDir Home;
    qputenv("XDG_DATA_HOME", Home.path().toLocal8Bit());
    QApplication App(argc, argv);
    // An empty layout, so that the program starts from its designed places.
    QFile(LayoutFilePath()).remove();
    QDir().mkpath(DataFolderPath());
    QFile Empty(LayoutFilePath());
    if (!Empty.open(QIODevice::WriteOnly))
        return 1;
    Empty.close();
    const QStringList NoPorts;
    std::unique_ptr<TMainForm> Main = CreateProgram({}, &NoPorts);
    Main->show();
    Main->restoreState(QByteArray());
    Main->addDockWidget(Qt::LeftDockWidgetArea, Main->SendForm);
    Main->addDockWidget(Qt::BottomDockWidgetArea, Main->FindForm);
    Main->SendForm->setFloating(false);
    Main->FindForm->setFloating(false);
    Main->SendForm->show();
    Main->FindForm->show();
    Main->setGeometry(361, 158, 1046 - 361, 664 - 158);
    QApplication::processEvents();
    Main->resizeDocks({Main->SendForm}, {220}, Qt::Horizontal);
    Main->resizeDocks({Main->FindForm}, {100}, Qt::Vertical);
    QApplication::processEvents();
    Main->FindForm->hide();
    QApplication::processEvents();
    const QString Path = QString::fromLocal8Bit(argv[1]);
    if (!Main->WriteLayout(Path))
        return 1;
    // Qt's geometry record is tied to this screen's width; the default
    // gives the client area in plain keys instead.
    QSettings Ini(Path, QSettings::IniFormat);
    Ini.remove(QStringLiteral("MainForm/Geometry"));
    Ini.setValue(QStringLiteral("MainForm/Left"), 361);
    Ini.setValue(QStringLiteral("MainForm/Top"), 158);
    Ini.setValue(QStringLiteral("MainForm/Width"), 1046 - 361);
    Ini.setValue(QStringLiteral("MainForm/Height"), 664 - 158);
    Ini.setValue(QStringLiteral("MainForm/Maximized"), false);
    Ini.sync();
    return Ini.status() == QSettings::NoError ? 0 : 1;
}
