#pragma once
// SIGTERM, SIGINT and SIGHUP (a desktop session ending, Ctrl+C in a
// terminal, the terminal closed) end the program the way its window's close
// does: settings, layout and the send view are saved first. The handler
// only writes a byte to a socket pair; the event loop reads it and emits
// Requested.

#include <QObject>

class QSocketNotifier;

class TQuitSignals : public QObject {
    Q_OBJECT
public:
    // One per process: the handlers are process-wide. When the socket pair
    // cannot be made the signals keep their default action.
    explicit TQuitSignals(QObject *Parent = nullptr);
    ~TQuitSignals() override;

    bool Installed() const { return FNotifier != nullptr; }

Q_SIGNALS:
    void Requested(int Signal);

private:
    QSocketNotifier *FNotifier = nullptr;
};
