// The monitoring core and the receive view assembled as the main window's
// start-up does it: link, reader thread, data runtime over three views, the
// status bar on its 50 ms timer. No menus, tool bars or docks.
#include "E2ETarget.h"

#include "QuillScomm.h"
#include "RichView.h"
#include "SendClass.h"
#include "SettingsRecord.h"
#include "StatusBarMY.h"

#include <QMainWindow>
#include <QTimer>

namespace {

class TPipelineTarget : public TE2ETarget {
public:
    TPipelineTarget()
    {
        Main.setWindowTitle(QStringLiteral("Tallyscope pipeline"));
        RichShow = new TRichView(&Main);
        RichShow->SetWordWrap(false);
        Main.setCentralWidget(RichShow);
        SendView = new TRichView;
        FindView = new TRichView;
        Bar = new TStatusBarMY;
        Main.setStatusBar(Bar);
        Runtime = std::make_unique<TDataRT>(SendView, RichShow, FindView, &Link, Settings);
        Runtime->ShowTime = Settings.ShowTime();
        Runtime->ShowRxTx = Settings.ShowRxTx();
        Runtime->ShowSending = Settings.ShowSending();
        Link.HexReceive = !Settings.AsciiReceive();
        Link.HexSend = !Settings.AsciiSend();
        Bar->Sources.Link = &Link;
        Bar->Sources.Runtime = Runtime.get();
        Bar->Sources.Settings = &Settings;
        Timer1.setInterval(50);
        QObject::connect(&Timer1, &QTimer::timeout, Bar, &TStatusBarMY::Tick);
        Timer1.start();
    }
    ~TPipelineTarget() override
    {
        Timer1.stop();
        Link.ClosePort();
        Thread.Park();
        Runtime.reset();
        delete SendView;
        delete FindView;
    }

    QString Name() const override { return QStringLiteral("pipeline"); }
    QWidget *Window() override { return &Main; }
    TRichView *ReceiveView() override { return RichShow; }
    bool OpenPort(const std::string &Path, QString &Error) override
    {
        Link.Port.SetPort(Path);
        try {
            Link.OpenPort();
        } catch (const std::exception &E) {
            Error = QString::fromLocal8Bit(E.what());
            return false;
        }
        Thread.Release();
        return true;
    }
    void ClosePort() override
    {
        Link.ClosePort();
        Thread.Park();
    }

    void SetWordWrap(bool On) override { RichShow->SetWordWrap(On); }

private:
    TSettingsRecord Settings;
    TQuillScomm Link;
    TQuillComThread Thread {Link};
    QMainWindow Main;
    TRichView *RichShow = nullptr;
    TRichView *SendView = nullptr;
    TRichView *FindView = nullptr;
    TStatusBarMY *Bar = nullptr;
    std::unique_ptr<TDataRT> Runtime;
    QTimer Timer1;
};

}  // namespace

std::unique_ptr<TE2ETarget> MakePipelineTarget()
{
    return std::make_unique<TPipelineTarget>();
}
