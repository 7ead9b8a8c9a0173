// The whole program in-process for the window tests: one run from its start
// to its close, with the messages to the user captured instead of shown, and
// the small lookups those tests share.
#pragma once

#include "CommandLine.h"
#include "QuillScomm.h"
#include "RichView.h"
#include "SendClass.h"
#include "main.h"

#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QTest>
#include <QTextCursor>

#include <functional>
#include <memory>
#include <utility>

class TCapture : public TRuntimeMessages {
public:
    struct TMessage {
        QString Caption, Text;
    };
    QList<TMessage> List;
    // Called once while the next warning is "open": a real box runs its own
    // event loop there, so Shown can look at the window as the user sees it.
    std::function<void()> Shown;
    void Warning(QWidget *, const QString &Caption, const QString &Text) override
    {
        List.append({Caption, Text});
        if (auto Once = std::exchange(Shown, nullptr))
            Once();
    }
    void StandardError(const QString &Text) override { List.append({QString(), Text}); }
    // A notice is told like a warning; Open holds the keys of those not yet
    // withdrawn.
    QStringList Open;
    void Notice(QWidget *Owner, const QString &Key, const QString &Caption, const QString &Text) override
    {
        if (!Open.contains(Key))
            Open.append(Key);
        Warning(Owner, Caption, Text);
    }
    void Withdraw(const QString &Key) override { Open.removeAll(Key); }
};

struct TRun {
    explicit TRun(const QStringList &Ports, const QStringList &Arguments = {}, const TStartOptions &Options = {})
    {
        Main = CreateProgram(Arguments, &Ports);
        Main->SetStartOptions(Options);
        Main->SetMessages(&Messages);
        Main->show();
        QVERIFY(QTest::qWaitForWindowExposed(Main.get()));
    }
    ~TRun()
    {
        if (Main && Main->isVisible())
            Main->close();
    }
    TMainForm *operator->() const { return Main.get(); }
    // A control of the program by its design name.
    template <class T> T *Find(const char *Name) const
    {
        T *Control = Main->findChild<T *>(QLatin1String(Name));
        if (!Control)
            qFatal("No control %s", Name);
        return Control;
    }
    QAction *Action(const char *Name) const { return Find<QAction>(Name); }
    // Opens Port through the port combo and the port button.
    bool OpenPort(const QString &Port) const
    {
        auto *Combo = Find<QComboBox>("CBoxPort");
        Combo->setCurrentIndex(Combo->findText(Port));
        Action("PortButton")->trigger();
        return Main->Link()->Port.Connected();
    }
    std::unique_ptr<TMainForm> Main;
    TCapture Messages;
};

// The first line of View that holds Text, or -1.
inline int LineWith(TRichView *View, const QString &Text)
{
    for (int I = 0; I < View->LineCount(); ++I)
        if (View->LineText(I).contains(Text))
            return I;
    return -1;
}

// The text colour of the character at Position.
inline QColor ColourAt(TRichView *View, int Position)
{
    QTextCursor C(View->document());
    C.setPosition(Position + 1);
    return C.charFormat().foreground().color();
}

// What a screen reader calls a control.
inline QString AccessibleName(QObject *Object)
{
    QAccessibleInterface *I = QAccessible::queryAccessibleInterface(Object);
    return I ? I->text(QAccessible::Name) : QString();
}
