// Ports that come and go, through the whole program: a device folder of the
// test's own whose by-id links (to socat pseudo-terminals) appear and
// disappear as USB adapters do, and a cable stopped and started again under
// the same path as a device unplugged and plugged back in.
#include "ProgramRun.h"
#include "SocatPair.h"

#include "CPortCtl.h"
#include "DataFolder.h"
#include "DeviceReturn.h"
#include "PortList.h"
#include "StatusBarMY.h"

#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>

#include <unistd.h>

namespace {
bool MakeLink(const std::string &Target, const QString &Link)
{
    return ::symlink(Target.c_str(), Link.toLocal8Bit().constData()) == 0;
}
}  // namespace

class TestHotPlug : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> Home;
    std::unique_ptr<TSocatPair> Cable;

    // Opens the port typed into the combo, as a path no list holds.
    static bool OpenTyped(TRun &Run, const std::string &Path)
    {
        Run.Find<QComboBox>("CBoxPort")->setEditText(QString::fromStdString(Path));
        Run.Action("PortButton")->trigger();
        return Run->Link()->Port.Connected();
    }

private Q_SLOTS:
    void init()
    {
        Home = std::make_unique<QTemporaryDir>();
        QVERIFY(Home->isValid());
        qputenv("XDG_DATA_HOME", Home->path().toLocal8Bit());
        Cable = std::make_unique<TSocatPair>();
        QVERIFY2(Cable->Start(), qPrintable(Cable->Error));
    }
    void cleanup()
    {
        Cable.reset();
        Home.reset();
    }

    void listFollowsAdaptersAndKeepsWhatIsTyped()
    {
        TSocatPair Other;
        QVERIFY2(Other.Start(), qPrintable(Other.Error));
        QTemporaryDir Dev, Sys;
        TPortRoots Roots;
        Roots.Dev = Dev.path().toStdString();
        Roots.SysClass = Sys.path().toStdString();
        Roots.Modems = false;
        Roots.Describe = [](const std::string &) { return TAdapterInfo {"FTDI", "FT232R USB UART"}; };
        TRun Run({});
        Run->WatchPorts(Roots);
        auto *Combo = Run.Find<QComboBox>("CBoxPort");
        QCOMPARE(Combo->count(), 0);

        // The user is half-way through typing a path, part of it selected.
        QLineEdit *Edit = Combo->lineEdit();
        Edit->setFocus();
        QTest::keyClicks(Edit, QStringLiteral("/dev/ttyXR"));
        Edit->setSelection(8, -3);
        const auto Unchanged = [&] {
            return Edit->text() == QStringLiteral("/dev/ttyXR") && Edit->selectionStart() == 5 &&
                Edit->selectedText() == QStringLiteral("ttyXR").left(3) && Edit->cursorPosition() == 5;
        };
        QVERIFY(Unchanged());

        // An adapter is plugged in: udev makes the by-id folder and link.
        const QString ById = Dev.filePath(QStringLiteral("serial/by-id"));
        const QString Link = ById + QStringLiteral("/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
        QVERIFY(QDir().mkpath(ById));
        QVERIFY(MakeLink(Cable->Near(), Link));
        QTRY_COMPARE(Combo->count(), 1);
        QCOMPARE(Combo->itemText(0), Link);
        char Pty[PATH_MAX];
        QVERIFY(::realpath(Cable->Near().c_str(), Pty));
        QCOMPARE(Combo->itemData(0, Qt::UserRole).toString(),
            QString::fromLocal8Bit(Pty).mid(5) + QStringLiteral(", FTDI FT232R USB UART"));
        QVERIFY(Unchanged());
        // A second one, then the first goes.
        QVERIFY(MakeLink(Other.Near(), ById + QStringLiteral("/usb-FTDI_FT232R_USB_UART_B7-if00-port0")));
        QTRY_COMPARE(Combo->count(), 2);
        QVERIFY(Unchanged());
        QVERIFY(QFile::remove(Link));
        QTRY_COMPARE(Combo->count(), 1);
        QVERIFY(Unchanged());

        // Chosen from the list, the port is opened by its by-id name.
        QVERIFY(MakeLink(Cable->Near(), Link));
        QTRY_COMPARE(Combo->count(), 2);
        QVERIFY(Run.OpenPort(Link));
        QCOMPARE(QString::fromStdString(Run->Link()->Port.Port()), Link);
        QVERIFY(Cable->WriteFar("\x5A"));
        QTRY_VERIFY(LineWith(Run->ReceiveView(), QStringLiteral("5A")) >= 0);
        // A list that changes while the port is open leaves its name alone.
        QVERIFY(QFile::remove(ById + QStringLiteral("/usb-FTDI_FT232R_USB_UART_B7-if00-port0")));
        QTRY_COMPARE(Combo->count(), 1);
        QCOMPARE(Combo->currentText(), Link);
        QVERIFY(Run->Link()->Port.Connected());
    }

    void vanishedDeviceIsReopenedWhenItReturns()
    {
        TRun Run({});
        QVERIFY(Run.Action("ReopenItem")->isChecked());
        Run.Find<TComComboBox>("CBoxBaudRate")->SetText(QStringLiteral("115200"));
        QVERIFY(OpenTyped(Run, Cable->Near()));
        QVERIFY(Cable->WriteFar("\x11\x22"));
        QTRY_VERIFY(LineWith(Run->ReceiveView(), QStringLiteral("11 22")) >= 0);

        // Unplugged: closed and told, as without the option.
        Cable->Stop();
        QTRY_VERIFY_WITH_TIMEOUT(!Run->Link()->Port.Connected(), 5000);
        QTRY_COMPARE(Run.Messages.List.size(), 1);
        QCOMPARE(Run.Messages.List[0].Caption, QStringLiteral("Port"));
        QVERIFY(Run.Messages.List[0].Text.contains(QString::fromStdString(Cable->Near())));
        QVERIFY(Run->DeviceReturn()->Waiting());
        QCOMPARE(Run.Action("PortButton")->text(), QStringLiteral("Open Port"));
        QCOMPARE(Run.Messages.Open.size(), 1);

        // Plugged back in under the same path: the box that said it was gone
        // goes.
        TSocatPair Back;
        QVERIFY2(Back.Start(QString::fromStdString(Cable->Near())), qPrintable(Back.Error));
        QTRY_VERIFY(Run->Link()->Port.Connected());
        QVERIFY(!Run->DeviceReturn()->Waiting());
        QCOMPARE(Run->Link()->Port.BaudRate(), br115200);
        QCOMPARE(Run.Action("PortButton")->text(), QStringLiteral("Close Port"));
        QVERIFY(Run->StatusBar()->currentMessage().contains(QStringLiteral("returned")));
        QVERIFY(Run->StatusBar()->currentMessage().contains(QString::fromStdString(Cable->Near())));
        QVERIFY(Back.WriteFar("\x33\x44"));
        QTRY_VERIFY(LineWith(Run->ReceiveView(), QStringLiteral("33 44")) >= 0);

        // Before, the marker, after: in that order, nothing lost.
        const int Before = LineWith(Run->ReceiveView(), QStringLiteral("11 22"));
        const int Marker = LineWith(Run->ReceiveView(), QString::fromStdString(TDeviceReturn::Marker));
        const int After = LineWith(Run->ReceiveView(), QStringLiteral("33 44"));
        QVERIFY2(Before >= 0 && Before < Marker && Marker < After,
            qPrintable(QStringLiteral("%1 %2 %3").arg(Before).arg(Marker).arg(After)));
        QCOMPARE(Run->ReceiveView()->LineText(Marker), QString::fromStdString(TDeviceReturn::Marker));
        QCOMPARE(Run.Messages.List.size(), 1);
        QVERIFY(Run.Messages.Open.isEmpty());
    }

    // However often the device goes while nobody looks, one box says so.
    void oneBoxForTheGoneDevice()
    {
        TRuntimeMessages Messages;
        QWidget Owner;
        Owner.show();
        const auto Boxes = [] {
            QList<QMessageBox *> Shown;
            for (QWidget *W : QApplication::topLevelWidgets())
                if (auto *Box = qobject_cast<QMessageBox *>(W); Box && Box->isVisible())
                    Shown << Box;
            return Shown;
        };
        for (int I = 0; I < 100; ++I)
            Messages.Notice(&Owner, QStringLiteral("Gone"), QStringLiteral("Port"), QStringLiteral("gone %1").arg(I));
        QCOMPARE(Boxes().size(), 1);
        QCOMPARE(Boxes()[0]->text(), QStringLiteral("gone 99"));
        QCOMPARE(Boxes()[0]->windowTitle(), QStringLiteral("Port"));
        QCOMPARE(Boxes()[0]->icon(), QMessageBox::Warning);
        Messages.Withdraw(QStringLiteral("Gone"));
        QTRY_VERIFY(Boxes().isEmpty());
        // Closed by the user, the next time opens a new one.
        Messages.Notice(&Owner, QStringLiteral("Gone"), QStringLiteral("Port"), QStringLiteral("again"));
        QCOMPARE(Boxes().size(), 1);
        Boxes()[0]->accept();
        QTRY_VERIFY(Boxes().isEmpty());
        Messages.Notice(&Owner, QStringLiteral("Gone"), QStringLiteral("Port"), QStringLiteral("once more"));
        QTRY_COMPARE(Boxes().size(), 1);
        Messages.Withdraw(QStringLiteral("Gone"));
    }

    void reopenTurnedOffStaysClosedAndIsKept()
    {
        {
            TRun Run({});
            Run.Action("ReopenItem")->trigger();
            QVERIFY(!Run.Action("ReopenItem")->isChecked());
            QVERIFY(OpenTyped(Run, Cable->Near()));
            Cable->Stop();
            QTRY_COMPARE(Run.Messages.List.size(), 1);
            QVERIFY(!Run->DeviceReturn()->Waiting());
            TSocatPair Back;
            QVERIFY2(Back.Start(QString::fromStdString(Cable->Near())), qPrintable(Back.Error));
            QTest::qWait(500);
            QVERIFY(!Run->Link()->Port.Connected());
            // Opened again by the user, the box goes.
            QCOMPARE(Run.Messages.Open.size(), 1);
            QVERIFY(OpenTyped(Run, Back.Near()));
            QVERIFY(Run.Messages.Open.isEmpty());
            Run.Main->close();
        }
        QCOMPARE(
            QSettings(LayoutFilePath(), QSettings::IniFormat).value(QStringLiteral("Port/ReopenWhenDeviceReturns")),
            QVariant(false));
        TRun Run({});
        QVERIFY(!Run.Action("ReopenItem")->isChecked());
        // Turned off while waiting, the wait ends.
        Run.Action("ReopenItem")->trigger();
        TSocatPair Again;
        QVERIFY2(Again.Start(), qPrintable(Again.Error));
        QVERIFY(OpenTyped(Run, Again.Near()));
        Again.Stop();
        QTRY_VERIFY(Run->DeviceReturn()->Waiting());
        Run.Action("ReopenItem")->trigger();
        QVERIFY(!Run->DeviceReturn()->Waiting());
    }
};

QTEST_MAIN(TestHotPlug)
#include "tst_hotplug.moc"
