#pragma once
// The port list as users know their adapters: the stable names under
// /dev/serial/by-id first (with the kernel's name and the adapter's maker and
// model beside them), then the other serial devices and the modems; and a
// watch that tells when devices come or go, woken by the kernel (inotify on
// the device folders), never by a timer that polls.

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QFileSystemWatcher;
class QTimer;

// What a USB adapter says of itself; empty fields when it says nothing (or
// is no USB device).
struct TAdapterInfo {
    std::string Maker, Model;
};

struct TPortEntry {
    // What the port combo shows and what is opened: a by-id path, or a
    // device name under /dev ("ttyS0") or a modem's name.
    std::string Port;
    // The kernel's name of the device, relative to /dev ("ttyUSB0"); empty
    // when Port is that name itself.
    std::string Kernel;
    TAdapterInfo Adapter;
    // What is shown beside Port: "ttyUSB0, FTDI FT232R USB UART"; empty
    // when nothing is known.
    std::string Details() const;
    bool operator==(const TPortEntry &Other) const
    {
        return Port == Other.Port && Kernel == Other.Kernel && Adapter.Maker == Other.Adapter.Maker &&
            Adapter.Model == Other.Adapter.Model;
    }
};

// Where the devices are. Tests point these at folders of their own.
struct TPortRoots {
    std::string Dev = "/dev";
    std::string SysClass = "/sys/class/tty";
    bool Modems = true;
    // The maker and model of a kernel device name; empty: udev's.
    std::function<TAdapterInfo(const std::string &Kernel)> Describe;
};

// Through libudev: the USB device's own strings, else udev's hardware
// database; nothing for a device that is not there. Control characters in
// what the adapter reports become spaces.
TAdapterInfo DescribeByUdev(const std::string &Kernel);

// By-id links (in natural order; a link whose device is gone is left out),
// then the serial devices no link names, then the modems. A part that cannot
// be read gives nothing; the rest is still listed.
std::vector<TPortEntry> ListPorts(const TPortRoots &Roots);

// Watches Dev, Dev/serial and Dev/serial/by-id (each as it comes and goes)
// and calls Changed, on the thread that made the watch, once a burst of
// changes has settled (udev makes a node and its links one after another).
class TPortWatch {
public:
    TPortWatch(TPortRoots Roots, std::function<void()> Changed);
    ~TPortWatch();
    TPortWatch(const TPortWatch &) = delete;
    TPortWatch &operator=(const TPortWatch &) = delete;

    const TPortRoots &Roots() const { return FRoots; }
    std::vector<TPortEntry> List() const { return ListPorts(FRoots); }

    // Quiet time after the last change before Changed is called.
    static constexpr int SettleMs = 150;

private:
    void Arm();
    TPortRoots FRoots;
    std::function<void()> FChanged;
    std::unique_ptr<QFileSystemWatcher> FWatcher;
    std::unique_ptr<QTimer> FSettle;
};
