// Screenshots of the cycle and trigger settings dialog under Xvfb (README,
// development):
//   xvfb-run -a -s "-screen 0 1280x800x24" build/tests/shell/setform_shots DIR
// Writes DIR/cycle-settings.png, DIR/trigger-settings.png and
// DIR/cycle-refused.png (a negative line number refused in its box).
#include "../support/Shoot.h"
#include "SendUnit.h"
#include "SetUnit.h"
#include "SettingsRecord.h"
#include "main.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: setform_shots DIR\n");
        return 2;
    }
    QTemporaryDir Home;
    qputenv("XDG_DATA_HOME", Home.path().toLocal8Bit());
    QApplication App(argc, argv);
    const QDir Out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(Out.path());
    const QStringList Ports;
    std::unique_ptr<TMainForm> Main = CreateProgram({}, &Ports);
    Main->show();
    if (!QTest::qWaitForWindowExposed(Main.get()))
        return 1;

    // Settings as a user leaves them: a range cycle, a timing range and two
    // trigger rows.
    TSettingsRecord &S = Main->Settings;
    S.SetCycleMode(1);
    S.SetCycleRangeFirst(3);
    S.SetCycleRangeLast(5);
    S.SetCycleInterval(20);
    S.SetTriggerTime(0.354224537);  // 08:30:05
    S.SetTimingMode(1);
    S.SetTimingRangeFirst(4);
    S.SetTimingRangeLast(6);
    S.SetTimingInterval(1000);
    S.SetTriggerRecLine(0, 1);
    S.SetTriggerTrigLine(0, 2);
    S.SetTriggerRecLine(1, 3);
    S.SetTriggerTrigLine(1, 4);
    S.SetTriggerDelay(50);

    QCursor::setPos(300, 500);
    Main->SendForm->ToolButton2->trigger();
    Shoot(Main->SetForm, Out.filePath(QStringLiteral("cycle-settings.png")));
    Main->SetForm->hide();
    Main->SendForm->ToolButton3->trigger();
    Shoot(Main->SetForm, Out.filePath(QStringLiteral("trigger-settings.png")));
    Main->SetForm->hide();

    // "Send Line:", "Fixed Line:" -3 and Enable: "Ok" is refused in the
    // standard error box, shot with the dialog while it is up.
    Main->SendForm->ToolButton2->trigger();
    TSetForm *Form = Main->SetForm;
    Form->RadioButton1->click();
    Form->RadioButton5->setChecked(true);
    Form->Edit2->setText(QStringLiteral("-3"));
    Form->CheckBox1->setChecked(true);
    QTimer::singleShot(600, [&] {
        QWidget *Box = QApplication::activeModalWidget();
        const QRect Frame =
            Box ? Form->frameGeometry().united(Box->frameGeometry()).adjusted(-2, -2, 2, 2) : Form->frameGeometry();
        Form->screen()
            ->grabWindow(0, Frame.x(), Frame.y(), Frame.width(), Frame.height())
            .save(Out.filePath(QStringLiteral("cycle-refused.png")));
        if (Box)
            Box->close();
    });
    Form->Button3->click();
    Form->hide();
    Main->close();
    return 0;
}
