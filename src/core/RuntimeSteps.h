// Cycle send and the triggers bound to the data runtime: its send view and
// link are what the steps send through, CycleTimer's tick is the cycle step,
// the display tick hands each line taken to the receive trigger, and a
// failed send stops its source before the user is told.
#pragma once

#include "SendSteps.h"

#include <QObject>

#include <functional>

class TDataRT;

class TRuntimeSteps : public QObject, public TSendTarget {
    Q_OBJECT
public:
    // Tell shows a failure; it runs after the source was stopped.
    TRuntimeSteps(TDataRT &Runtime, std::function<void(const TStepFailure &)> Tell);

    TTriggerSend *const Trigger;

    // One tick of CycleTimer.
    void CycleTick();

    void SendLine(int Index) override;
    void SendCaretLine() override;
    int CaretLine() override;
    std::string LineText(int Index) override;

private:
    TDataRT &FRuntime;
    std::function<void(const TStepFailure &)> FTell;
};
