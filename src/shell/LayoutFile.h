// The layout file config.ini: the main window's geometry, the arrangement
// of its docks, the port last chosen and whether it is reopened when its
// device returns, as INI keys. No widgets: the window hands in and takes out
// the values.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QRect>
#include <QString>

struct TLayout {
    // The normal (not maximised) frame as plain keys, which the default
    // layout holds and which survive a change of screen.
    QRect Normal;
    bool Maximized = false;
    // The toolkit's own records of the geometry and of the docks; empty
    // when the file has none.
    QByteArray Geometry;
    QByteArray DockState;
    // The port combo's text: a typed path is not in the port list, so its
    // index in the settings record cannot bring it back. Empty: none.
    QString PortName;
    // The baud combo's text when it is a rate typed in, not one of its
    // list (the settings record keeps only a list index). Empty: none.
    QString BaudRate;
    // "Reopen When Device Returns".
    bool ReopenOnReturn = true;
    // "Edit Received Text": the keyboard may change the receive view.
    bool EditReceived = false;
    // The plot window's settings, as its own keys and texts.
    QMap<QString, QString> Plot {};
};

class TLayoutFile {
public:
    // Bumped when the docks change, so that an older arrangement is not
    // misapplied.
    static constexpr int LayoutVersion = 1;

    explicit TLayoutFile(QString Path);
    const QString &Path() const { return FPath; }

    // When the file is missing, creates its folder and writes the file at
    // DefaultPath (a resource) to it byte for byte. False when the file is
    // still missing.
    bool EnsureExists(const QString &DefaultPath) const;
    // What the file holds. A key that is missing or unreadable keeps the
    // value of Fallback (a missing file gives Fallback whole).
    TLayout Read(const TLayout &Fallback) const;
    // Replaces the file's keys with Layout's. False when it could not be
    // written.
    bool Write(const TLayout &Layout) const;

private:
    QString FPath;
};
