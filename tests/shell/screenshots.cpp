// Screenshots of the program as a user sees it: run under Xvfb with a
// pseudo-terminal feeding it (see README, development):
//   xvfb-run -a -s "-screen 0 1280x800x24" build/tests/shell/screenshots DIR
// Writes DIR/main.png (hex lines arriving, echoes, send window docked),
// DIR/ascii.png (ASCII receive, search window shown), DIR/autosave.png (the
// "Auto Save or Clear" dialog), DIR/palette.png, and
// a 512-byte burst in hex without word wrap, scrolled to the left and right
// ends (DIR/nowrap-left.png, DIR/nowrap-right.png), then with Word Wrap
// switched on while scrolled right, at the end and at the top
// (DIR/wrap-end.png, DIR/wrap-top.png), and after a start with a damaged
// config.ini DIR/narrow-start.png and DIR/narrow.png (the window at the
// least width it allows); the receive tools DIR/filter.png, DIR/find.png,
// DIR/search-output.png and DIR/find-wrapped.png (Find Next past the last hit).
#include "../support/Shoot.h"
#include "SocatPair.h"

#include "FindUnit.h"
#include "QuillScomm.h"
#include "RichView.h"
#include "SendUnit.h"
#include "StatusBarMY.h"
#include "TimeSaveUnit.h"
#include "main.h"

#include "DataFolder.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "ColourButton.h"
#include "FilterUnit.h"
#include "FindDiaUnit.h"

#include <QCheckBox>
#include <QCursor>
#include <QPushButton>
#include <QTableWidget>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: screenshots DIR\n");
        return 2;
    }
    QTemporaryDir Home;
    qputenv("XDG_DATA_HOME", Home.path().toLocal8Bit());
    QApplication App(argc, argv);
    const QDir Out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(Out.path());

    TSocatPair Cable;
    if (!Cable.Start()) {
        std::fprintf(stderr, "socat: %s\n", qPrintable(Cable.Error));
        return 1;
    }
    const QStringList Ports = {QStringLiteral("ttyUSB0"), QString::fromStdString(Cable.Near())};
    std::unique_ptr<TMainForm> Main = CreateProgram({}, &Ports);
    Main->show();
    if (!QTest::qWaitForWindowExposed(Main.get()))
        return 1;
    Main->findChild<QComboBox *>(QStringLiteral("CBoxPort"))->setCurrentIndex(1);
    Main->findChild<QAction *>(QStringLiteral("PortButton"))->trigger();
    Main->findChild<QAction *>(QStringLiteral("DtrButton"))->trigger();

    TRichView *Send = Main->SendForm->RichSend;
    Send->setPlainText(QStringLiteral("01 03 00 00 00 0A C5 CD\n01 06 00 01 00 17 98 04\nAT+GMR\n"));
    // A device answering a Modbus poll every 100 ms.
    int Round = 0;
    QTimer Feed;
    QObject::connect(&Feed, &QTimer::timeout, [&] {
        if (Round % 3 == 0) {
            Send->SetSelection(Send->LineStart(Round % 2), 0);
            Main->findChild<QAction *>(QStringLiteral("SendDataItem"))->trigger();
        }
        Cable.WriteFar(std::string("\x01\x03\x14\x00\x2A\x01\x5C\x00\x00\x13\x88\xFF\xFF\x00\x07", 15) +
            std::string(1, char(Round)));
        ++Round;
    });
    Feed.start(120);
    QTest::qWait(2500);
    Feed.stop();
    // The caret report follows a click into the send view.
    QTest::mouseClick(Send->viewport(), Qt::LeftButton, {}, QPoint(60, 8));
    QTest::qWait(300);
    Shoot(Main.get(), Out.filePath(QStringLiteral("main.png")));

    Main->findChild<QAction *>(QStringLiteral("AsciiReceiveButton"))->trigger();
    Main->findChild<QAction *>(QStringLiteral("FindWindowItem"))->trigger();
    Main->FindForm->RichFind->Append(QStringLiteral("[12:00:01 100]"), QColor(128, 128, 128));
    Main->FindForm->RichFind->Append(QStringLiteral("OK\r\n"), QColor(0, 0, 200));
    Cable.WriteFar("Firmware 2.4.1 (build 811)\r\nOK\r\n");
    QTest::qWait(600);
    Shoot(Main.get(), Out.filePath(QStringLiteral("ascii.png")));
    Main->TimeSaveForm->show();
    Shoot(Main->TimeSaveForm, Out.filePath(QStringLiteral("autosave.png")));
    Main->TimeSaveForm->close();

    auto *Colour = Main->findChild<TColourButton *>(QStringLiteral("ColorButton"));
    QTimer::singleShot(300, [&] {
        Shoot(Main.get(), Out.filePath(QStringLiteral("palette.png")));
        Colour->Palette()->close();
    });
    Colour->showMenu();

    Main->findChild<QAction *>(QStringLiteral("AsciiReceiveButton"))->trigger();  // hex again
    Cable.WriteFar(std::string(512, '\x5A') + std::string("\x01\x02\x03", 3));
    QTest::qWait(600);
    QScrollBar *Across = Main->ReceiveView()->horizontalScrollBar();
    Across->setValue(0);
    Shoot(Main.get(), Out.filePath(QStringLiteral("nowrap-left.png")));
    Across->setValue(Across->maximum());
    Shoot(Main.get(), Out.filePath(QStringLiteral("nowrap-right.png")));
    Main->findChild<QAction *>(QStringLiteral("WordWrapItem"))->trigger();
    Shoot(Main.get(), Out.filePath(QStringLiteral("wrap-end.png")));
    Main->ReceiveView()->verticalScrollBar()->setValue(0);
    Shoot(Main.get(), Out.filePath(QStringLiteral("wrap-top.png")));

    // The receive tools: the filter dialog at the pointer, the find dialog
    // filled from a selection, and the search output of "Find All".
    QCursor::setPos(Main->frameGeometry().center());
    Main->findChild<QAction *>(QStringLiteral("FilterButton"))->trigger();
    Main->FilterForm->StringGrid1->item(0, 1)->setText(QStringLiteral("1"));
    Main->FilterForm->StringGrid1->item(0, 2)->setText(QStringLiteral("01"));
    Shoot(Main->FilterForm, Out.filePath(QStringLiteral("filter.png")));
    Main->FilterForm->close();
    TRichView *Receive = Main->ReceiveView();
    int Line = 0;
    while (Line < Receive->LineCount() - 1 && !Receive->LineText(Line).contains(QLatin1String("13 88")))
        ++Line;
    Receive->SetSelection(Receive->LineStart(Line) + int(Receive->LineText(Line).indexOf(QLatin1String("13 88"))), 5);
    Main->findChild<QAction *>(QStringLiteral("FindItem"))->trigger();
    Main->FindDialog->FindAll->setChecked(true);
    Shoot(Main->FindDialog, Out.filePath(QStringLiteral("find.png")));
    Main->FindDialog->FindNext->click();
    Main->FindDialog->close();
    Shoot(Main.get(), Out.filePath(QStringLiteral("search-output.png")));
    // Find Next (F3) through the hits and past the last one: the status bar
    // tells that it went on at the top.
    Main->FindDialog->FindAll->setChecked(false);
    for (int Hit = 0; Hit < 1000 && Main->StatusBar()->currentMessage().isEmpty(); ++Hit)
        Main->findChild<QAction *>(QStringLiteral("FindNextItem"))->trigger();
    Shoot(Main.get(), Out.filePath(QStringLiteral("find-wrapped.png")));

    Main->findChild<QAction *>(QStringLiteral("PortButton"))->trigger();
    Main->close();
    Main.reset();

    // A damaged config.ini: the window starts at its designed size, then
    // is narrowed as far as it goes. The status bar must show all five
    // line signals.
    {
        QFile Damaged(LayoutFilePath());
        if (Damaged.open(QIODevice::WriteOnly))
            Damaged.write("\x01garbage");
    }
    Main = CreateProgram({}, &Ports);
    Main->show();
    if (!QTest::qWaitForWindowExposed(Main.get()))
        return 1;
    Shoot(Main.get(), Out.filePath(QStringLiteral("narrow-start.png")));
    Main->resize(0, Main->height());
    Shoot(Main.get(), Out.filePath(QStringLiteral("narrow.png")));
    Main->close();
    return 0;
}
