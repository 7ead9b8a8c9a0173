#include "LayoutFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>

namespace {
const QString FormNames = QStringLiteral("Forms/FormNames");
const QString Left = QStringLiteral("MainForm/Left");
const QString Top = QStringLiteral("MainForm/Top");
const QString Width = QStringLiteral("MainForm/Width");
const QString Height = QStringLiteral("MainForm/Height");
const QString Maximized = QStringLiteral("MainForm/Maximized");
const QString Geometry = QStringLiteral("MainForm/Geometry");
const QString DockState = QStringLiteral("MainForm/DockState");
const QString PortName = QStringLiteral("Port/Name");
const QString BaudRate = QStringLiteral("Port/BaudRate");
const QString ReopenOnReturn = QStringLiteral("Port/ReopenWhenDeviceReturns");
const QString EditReceived = QStringLiteral("View/EditReceivedText");
const QString PlotGroup = QStringLiteral("Plot");

int IntValue(const QSettings &Ini, const QString &Key, int Fallback)
{
    bool Ok = false;
    const int V = Ini.value(Key).toInt(&Ok);
    return Ok ? V : Fallback;
}
}  // namespace

TLayoutFile::TLayoutFile(QString Path) : FPath(std::move(Path))
{
}

bool TLayoutFile::EnsureExists(const QString &DefaultPath) const
{
    if (QFileInfo::exists(FPath))
        return true;
    QFile Default(DefaultPath);
    if (!QDir().mkpath(QFileInfo(FPath).absolutePath()) || !Default.open(QIODevice::ReadOnly))
        return false;
    // Whole or not at all: a half-written default would be loaded as it is.
    QSaveFile Out(FPath);
    return Out.open(QIODevice::WriteOnly) && Out.write(Default.readAll()) == Default.size() && Out.commit();
}

TLayout TLayoutFile::Read(const TLayout &Fallback) const
{
    if (!QFileInfo::exists(FPath))
        return Fallback;
    QSettings Ini(FPath, QSettings::IniFormat);
    TLayout L = Fallback;
    L.Normal = QRect(IntValue(Ini, Left, Fallback.Normal.x()), IntValue(Ini, Top, Fallback.Normal.y()),
        IntValue(Ini, Width, Fallback.Normal.width()), IntValue(Ini, Height, Fallback.Normal.height()));
    L.Maximized = Ini.value(Maximized, Fallback.Maximized).toBool();
    L.Geometry = Ini.value(Geometry, Fallback.Geometry).toByteArray();
    L.DockState = Ini.value(DockState, Fallback.DockState).toByteArray();
    L.PortName = Ini.value(PortName, Fallback.PortName).toString();
    L.BaudRate = Ini.value(BaudRate, Fallback.BaudRate).toString();
    L.ReopenOnReturn = Ini.value(ReopenOnReturn, Fallback.ReopenOnReturn).toBool();
    L.EditReceived = Ini.value(EditReceived, Fallback.EditReceived).toBool();
    Ini.beginGroup(PlotGroup);
    for (const QString &Key : Ini.childKeys())
        L.Plot[Key] = Ini.value(Key).toString();
    Ini.endGroup();
    return L;
}

bool TLayoutFile::Write(const TLayout &Layout) const
{
    // QSettings keeps the error of a file it could not read and writes
    // nothing over it: a damaged file is replaced, so the next start finds
    // this layout.
    if (const QSettings Old(FPath, QSettings::IniFormat); (Old.allKeys(), Old.status() == QSettings::FormatError))
        QFile::remove(FPath);
    QSettings Ini(FPath, QSettings::IniFormat);
    Ini.clear();
    Ini.setValue(FormNames, QStringLiteral("SendForm;FindForm;MainForm"));
    Ini.setValue(Left, Layout.Normal.x());
    Ini.setValue(Top, Layout.Normal.y());
    Ini.setValue(Width, Layout.Normal.width());
    Ini.setValue(Height, Layout.Normal.height());
    Ini.setValue(Maximized, Layout.Maximized);
    Ini.setValue(Geometry, Layout.Geometry);
    Ini.setValue(DockState, Layout.DockState);
    if (!Layout.PortName.isEmpty())
        Ini.setValue(PortName, Layout.PortName);
    if (!Layout.BaudRate.isEmpty())
        Ini.setValue(BaudRate, Layout.BaudRate);
    Ini.setValue(ReopenOnReturn, Layout.ReopenOnReturn);
    Ini.setValue(EditReceived, Layout.EditReceived);
    for (auto I = Layout.Plot.cbegin(); I != Layout.Plot.cend(); ++I)
        Ini.setValue(PlotGroup + u'/' + I.key(), I.value());
    Ini.sync();
    return Ini.status() == QSettings::NoError;
}
