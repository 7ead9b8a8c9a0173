// What the end-to-end benchmark drives: a program window that can open a
// port through its own command and shows received lines in a receive view.
#pragma once

#include <QString>

#include <memory>
#include <string>

class QWidget;
class TRichView;

class TE2ETarget {
public:
    virtual ~TE2ETarget() = default;
    // A short name for the report.
    virtual QString Name() const = 0;
    // The top-level window (shown by the harness).
    virtual QWidget *Window() = 0;
    // The receive view, once the window has been shown.
    virtual TRichView *ReceiveView() = 0;
    // Opens the device at Path the way a user does; false with Error set
    // when it did not open.
    virtual bool OpenPort(const std::string &Path, QString &Error) = 0;
    // Closes it again.
    virtual void ClosePort() = 0;
    // Word wrap of the receive view, set the way a user sets it.
    virtual void SetWordWrap(bool On) = 0;
};

// The real main window of the program.
std::unique_ptr<TE2ETarget> MakeMainFormTarget();
// The monitoring core and the receive view put together by hand (what the
// main window's start-up does), for comparison with the whole program.
std::unique_ptr<TE2ETarget> MakePipelineTarget();
