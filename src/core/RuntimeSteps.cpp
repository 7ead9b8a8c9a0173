#include "RuntimeSteps.h"

#include "RichView.h"
#include "SendClass.h"

#include <QTimer>

TRuntimeSteps::TRuntimeSteps(TDataRT &Runtime, std::function<void(const TStepFailure &)> Tell)
    : QObject(&Runtime),
      Trigger(new TTriggerSend(*this, Runtime.TriggerOptions, Runtime.TriggerOn, Runtime.RxTriggerState, this)),
      FRuntime(Runtime),
      FTell(std::move(Tell))
{
    Trigger->Failed = [this](const TStepFailure &Failure) { FTell(Failure); };
}

void TRuntimeSteps::CycleTick()
{
    if (auto Failure = CycleStep(FRuntime.CycleOptions, FRuntime.CycleIndex, *this)) {
        FRuntime.CycleTimer->stop();
        FTell(*Failure);
    }
}

void TRuntimeSteps::SendLine(int Index)
{
    FRuntime.SendLine(Index);
}

void TRuntimeSteps::SendCaretLine()
{
    FRuntime.SendCaretLine();
}

int TRuntimeSteps::CaretLine()
{
    return FRuntime.SendView ? FRuntime.SendView->CaretLine() : 0;
}

std::string TRuntimeSteps::LineText(int Index)
{
    TRichView *View = FRuntime.SendView;
    if (!View || Index < 0 || Index >= View->LineCount())
        return {};
    const QByteArray Bytes = View->LineText(Index).toLatin1();
    return std::string(Bytes.constData(), std::size_t(Bytes.size()));
}
