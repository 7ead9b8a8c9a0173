#include "PortDiscovery.h"

#include "CPort.h"

#include <QCollator>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QString>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>

namespace {

std::string LowerAscii(std::string s)
{
    for (char &c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool BeginsWith(const std::string &text, const char *prefix)
{
    return LowerAscii(text).rfind(prefix, 0) == 0;
}

}  // namespace

bool NaturalLess(const std::string &a, const std::string &b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
            size_t ie = i, je = j;
            while (ie < a.size() && std::isdigit(static_cast<unsigned char>(a[ie])))
                ++ie;
            while (je < b.size() && std::isdigit(static_cast<unsigned char>(b[je])))
                ++je;
            const std::string na = a.substr(i, ie - i), nb = b.substr(j, je - j);
            const std::string ta = na.substr(std::min(na.find_first_not_of('0'), na.size()));
            const std::string tb = nb.substr(std::min(nb.find_first_not_of('0'), nb.size()));
            if (ta.size() != tb.size())
                return ta.size() < tb.size();
            if (ta != tb)
                return ta < tb;
            i = ie;
            j = je;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

TSysfsSerialSource::TSysfsSerialSource(std::string classDir) : FClassDir(std::move(classDir))
{
}

std::vector<std::string> TSysfsSerialSource::SerialDevices() const
{
    DIR *dir = ::opendir(FClassDir.c_str());
    if (!dir)
        throw EComPort(CError_RegError, errno);
    std::vector<std::string> names;
    while (const dirent *e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string base = FClassDir + "/" + name;
        struct stat st;
        // Virtual consoles and pseudo-terminals have no device behind them.
        if (::stat((base + "/device").c_str(), &st) != 0)
            continue;
        if (name.rfind("ttyS", 0) == 0) {
            std::ifstream type(base + "/type");
            int uart = -1;
            if (type >> uart && uart == 0)
                continue;
        }
        names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), NaturalLess);
    return names;
}

void AddSerialCommPorts(std::vector<std::string> &items, const TSerialDeviceSource &source)
{
    for (const std::string &name : source.SerialDevices())
        items.push_back(name);
}

void AddSerialCommPorts(std::vector<std::string> &items)
{
    AddSerialCommPorts(items, TSysfsSerialSource());
}

void AddModemEntries(std::vector<std::string> &items, const TModemSource &source)
{
    for (const TModemInfo &modem : source.Modems()) {
        if (modem.Name)
            items.push_back(*modem.Name);
        if (modem.AttachedTo && (BeginsWith(*modem.AttachedTo, "tty") || BeginsWith(*modem.AttachedTo, "com"))) {
            const std::string wanted = LowerAscii(*modem.AttachedTo);
            const bool listed =
                std::any_of(items.begin(), items.end(), [&](const std::string &s) { return LowerAscii(s) == wanted; });
            if (!listed)
                items.push_back(*modem.AttachedTo);
        }
    }
}

void AddModemEntries(std::vector<std::string> &items)
{
    AddModemEntries(items, TModemManagerSource());
}

std::vector<std::string> ListSerialPorts(const TSerialDeviceSource &source)
{
    std::vector<std::string> names = source.SerialDevices();
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(names.begin(), names.end(), [&](const std::string &a, const std::string &b) {
        return collator.compare(QString::fromStdString(a), QString::fromStdString(b)) < 0;
    });
    return names;
}

std::vector<std::string> ListSerialPorts()
{
    return ListSerialPorts(TSysfsSerialSource());
}

// ----------------------------------------------------------- ModemManager
namespace {

const QString MMService = QStringLiteral("org.freedesktop.ModemManager1");
const QString MMModemInterface = QStringLiteral("org.freedesktop.ModemManager1.Modem");
constexpr uint MMPortTypeAt = 3;

std::optional<std::string> StringProperty(const QVariantMap &props, const char *key)
{
    const auto it = props.find(QLatin1String(key));
    if (it == props.end() || it->toString().isEmpty())
        return std::nullopt;
    return it->toString().toStdString();
}

TModemInfo ModemFromProperties(const QVariantMap &props)
{
    TModemInfo modem;
    const auto maker = StringProperty(props, "Manufacturer");
    const auto model = StringProperty(props, "Model");
    if (maker || model) {
        std::string name = maker.value_or("");
        if (model)
            name += (name.empty() ? "" : " ") + *model;
        modem.Name = name;
    }
    // Ports: a(su), name and type.
    const auto ports = props.find(QStringLiteral("Ports"));
    if (ports != props.end() && ports->canConvert<QDBusArgument>()) {
        const QDBusArgument arg = ports->value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            QString name;
            uint type = 0;
            arg.beginStructure();
            arg >> name >> type;
            arg.endStructure();
            if (type == MMPortTypeAt && !modem.AttachedTo)
                modem.AttachedTo = name.toStdString();
        }
        arg.endArray();
    }
    if (!modem.AttachedTo)
        modem.AttachedTo = StringProperty(props, "PrimaryPort");
    return modem;
}

}  // namespace

std::vector<TModemInfo> TModemManagerSource::Modems() const
{
    std::vector<TModemInfo> modems;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(MMService).value())
        return modems;
    QDBusMessage call = QDBusMessage::createMethodCall(MMService, QStringLiteral("/org/freedesktop/ModemManager1"),
        QStringLiteral("org.freedesktop.DBus.ObjectManager"), QStringLiteral("GetManagedObjects"));
    const QDBusMessage reply = bus.call(call, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return modems;
    // a{oa{sa{sv}}}: object path -> interface -> properties.
    const QDBusArgument objects = reply.arguments().constFirst().value<QDBusArgument>();
    objects.beginMap();
    while (!objects.atEnd()) {
        QDBusObjectPath path;
        objects.beginMapEntry();
        objects >> path;
        objects.beginMap();
        while (!objects.atEnd()) {
            QString interface;
            QVariantMap props;
            objects.beginMapEntry();
            objects >> interface >> props;
            objects.endMapEntry();
            if (interface == MMModemInterface)
                modems.push_back(ModemFromProperties(props));
        }
        objects.endMap();
        objects.endMapEntry();
    }
    objects.endMap();
    return modems;
}
