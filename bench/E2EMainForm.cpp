// The program's main window as the user meets it, opened through its own
// port combo and open command.
#include "E2ETarget.h"

#include "QuillScomm.h"
#include "RichView.h"
#include "SendClass.h"
#include "main.h"

#include <QAction>
#include <QComboBox>

namespace {

// A refusal ends the run with its text instead of a modal box nobody closes.
class TCapturedMessages : public TRuntimeMessages {
public:
    void Warning(QWidget *, const QString &Caption, const QString &Text) override
    {
        Last = Caption + QStringLiteral(": ") + Text;
    }
    void StandardError(const QString &Text) override { Last = Text; }
    QString Last;
};

class TMainFormTarget : public TE2ETarget {
public:
    TMainFormTarget() : Ports(), Main(CreateProgram(QStringList(), &Ports)) { Main->SetMessages(&Messages); }
    ~TMainFormTarget() override { Main->SetMessages(nullptr); }

    QString Name() const override { return QStringLiteral("mainform"); }
    QWidget *Window() override { return Main.get(); }
    TRichView *ReceiveView() override { return Main->ReceiveView(); }
    bool OpenPort(const std::string &Path, QString &Error) override
    {
        Main->findChild<QComboBox *>(QStringLiteral("CBoxPort"))->setEditText(QString::fromStdString(Path));
        Main->findChild<QAction *>(QStringLiteral("PortButton"))->trigger();
        if (Main->Link() && Main->Link()->Port.Connected())
            return true;
        Error = Messages.Last.isEmpty() ? QStringLiteral("the open command did nothing") : Messages.Last;
        return false;
    }
    void ClosePort() override
    {
        if (Main->Link() && Main->Link()->Port.Connected())
            Main->findChild<QAction *>(QStringLiteral("PortButton"))->trigger();
    }

    void SetWordWrap(bool On) override
    {
        if (Main->ReceiveView()->WordWrap() != On)
            Main->findChild<QAction *>(QStringLiteral("WordWrapItem"))->trigger();
    }

private:
    TCapturedMessages Messages;
    const QStringList Ports;  // none from the machine: the pseudo-terminal is typed in
    std::unique_ptr<TMainForm> Main;
};

}  // namespace

std::unique_ptr<TE2ETarget> MakeMainFormTarget()
{
    return std::make_unique<TMainFormTarget>();
}
