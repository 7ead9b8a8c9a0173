#include "PortList.h"

#include "PortDiscovery.h"

#include <QDir>
#include <QFileSystemWatcher>
#include <QTimer>

#include <libudev.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <dirent.h>

namespace {

// What an adapter reports is outside input: no control characters, no
// runaway length, no blanks at the ends.
std::string Clean(const char *Text)
{
    if (!Text)
        return std::string();
    std::string S(Text);
    for (char &C : S)
        if (static_cast<unsigned char>(C) < 0x20 || C == 0x7F)
            C = ' ';
    const std::size_t First = S.find_first_not_of(' ');
    if (First == std::string::npos)
        return std::string();
    S = S.substr(First, S.find_last_not_of(' ') - First + 1);
    if (S.size() > 80)
        S.resize(80);
    return S;
}

// udev's ID_VENDOR and ID_MODEL write blanks as '_'.
std::string Unescaped(const char *Text)
{
    std::string S = Clean(Text);
    std::replace(S.begin(), S.end(), '_', ' ');
    return S;
}

// The target of a link as a name relative to /dev (or Dev); empty when the
// link leads nowhere.
std::string KernelName(const std::string &Link, const std::string &Dev)
{
    char Resolved[PATH_MAX];
    if (!::realpath(Link.c_str(), Resolved))
        return std::string();
    const std::string Target = Resolved;
    for (const std::string &Root : {Dev, std::string("/dev")}) {
        char Base[PATH_MAX];
        const std::string Prefix = (::realpath(Root.c_str(), Base) ? std::string(Base) : Root) + "/";
        if (Target.rfind(Prefix, 0) == 0)
            return Target.substr(Prefix.size());
    }
    return Target;
}

std::vector<std::string> Entries(const std::string &Folder)
{
    std::vector<std::string> Names;
    if (DIR *D = ::opendir(Folder.c_str())) {
        while (const dirent *E = ::readdir(D)) {
            const std::string Name = E->d_name;
            if (Name != "." && Name != "..")
                Names.push_back(Name);
        }
        ::closedir(D);
    }
    std::sort(Names.begin(), Names.end(), NaturalLess);
    return Names;
}

std::string ByIdFolder(const TPortRoots &Roots)
{
    return Roots.Dev + "/serial/by-id";
}

}  // namespace

std::string TPortEntry::Details() const
{
    std::string Name = Adapter.Maker;
    // Many adapters repeat their maker at the head of the model.
    if (!Adapter.Model.empty())
        Name = Adapter.Model.rfind(Adapter.Maker, 0) == 0 ? Adapter.Model
                                                          : Name + (Name.empty() ? "" : " ") + Adapter.Model;
    if (Kernel.empty())
        return Name;
    return Name.empty() ? Kernel : Kernel + ", " + Name;
}

TAdapterInfo DescribeByUdev(const std::string &Kernel)
{
    TAdapterInfo Info;
    udev *Udev = udev_new();
    if (!Udev)
        return Info;
    const std::string SysName = Kernel.substr(Kernel.rfind('/') + 1);
    if (udev_device *Device = udev_device_new_from_subsystem_sysname(Udev, "tty", SysName.c_str())) {
        // The parent is owned by Device.
        if (udev_device *Usb = udev_device_get_parent_with_subsystem_devtype(Device, "usb", "usb_device")) {
            Info.Maker = Clean(udev_device_get_sysattr_value(Usb, "manufacturer"));
            Info.Model = Clean(udev_device_get_sysattr_value(Usb, "product"));
        }
        if (Info.Maker.empty())
            Info.Maker = Clean(udev_device_get_property_value(Device, "ID_VENDOR_FROM_DATABASE"));
        if (Info.Maker.empty())
            Info.Maker = Unescaped(udev_device_get_property_value(Device, "ID_VENDOR"));
        if (Info.Model.empty())
            Info.Model = Clean(udev_device_get_property_value(Device, "ID_MODEL_FROM_DATABASE"));
        if (Info.Model.empty())
            Info.Model = Unescaped(udev_device_get_property_value(Device, "ID_MODEL"));
        udev_device_unref(Device);
    }
    udev_unref(Udev);
    return Info;
}

std::vector<TPortEntry> ListPorts(const TPortRoots &Roots)
{
    const auto Describe = [&Roots](const std::string &Kernel) {
        return Roots.Describe ? Roots.Describe(Kernel) : DescribeByUdev(Kernel);
    };
    std::vector<TPortEntry> List;
    std::vector<std::string> Named;
    const std::string ById = ByIdFolder(Roots);
    for (const std::string &Link : Entries(ById)) {
        TPortEntry Entry;
        Entry.Port = ById + "/" + Link;
        Entry.Kernel = KernelName(Entry.Port, Roots.Dev);
        if (Entry.Kernel.empty())
            continue;
        Entry.Adapter = Describe(Entry.Kernel);
        Named.push_back(Entry.Kernel);
        List.push_back(std::move(Entry));
    }
    std::vector<std::string> Others;
    try {
        AddSerialCommPorts(Others, TSysfsSerialSource(Roots.SysClass));
    } catch (const std::exception &) {
        // Go on with the links and the modems.
    }
    for (const std::string &Name : Others)
        if (std::find(Named.begin(), Named.end(), Name) == Named.end()) {
            TPortEntry Entry;
            Entry.Port = Name;
            Entry.Adapter = Describe(Name);
            List.push_back(std::move(Entry));
        }
    if (Roots.Modems) {
        std::vector<std::string> Names;
        for (const TPortEntry &Entry : List)
            Names.push_back(Entry.Port);
        for (const std::string &Name : Named)
            Names.push_back(Name);
        const std::size_t Before = Names.size();
        try {
            AddModemEntries(Names, TModemManagerSource());
        } catch (const std::exception &) {
        }
        for (std::size_t I = Before; I < Names.size(); ++I)
            List.push_back({Names[I], std::string(), {}});
    }
    return List;
}

TPortWatch::TPortWatch(TPortRoots Roots, std::function<void()> Changed)
    : FRoots(std::move(Roots)),
      FChanged(std::move(Changed)),
      FWatcher(std::make_unique<QFileSystemWatcher>()),
      FSettle(std::make_unique<QTimer>())
{
    FSettle->setSingleShot(true);
    FSettle->setInterval(SettleMs);
    QObject::connect(
        FWatcher.get(), &QFileSystemWatcher::directoryChanged, FSettle.get(), [this] { FSettle->start(); });
    QObject::connect(FSettle.get(), &QTimer::timeout, FSettle.get(), [this] {
        // The folders first: a change after this is seen again.
        Arm();
        if (FChanged)
            FChanged();
    });
    Arm();
}

TPortWatch::~TPortWatch() = default;

void TPortWatch::Arm()
{
    // The by-id folder goes with the last adapter and comes with the first;
    // its parents tell when.
    const QStringList Folders = {QString::fromStdString(FRoots.Dev), QString::fromStdString(FRoots.Dev + "/serial"),
        QString::fromStdString(ByIdFolder(FRoots))};
    const QStringList Watched = FWatcher->directories();
    for (const QString &Folder : Folders)
        if (!Watched.contains(Folder) && QDir(Folder).exists())
            FWatcher->addPath(Folder);
}
