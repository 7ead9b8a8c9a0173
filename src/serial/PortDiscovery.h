#pragma once
// The ports a user can pick: serial devices the system knows and installed
// modems, each from a source that tests can replace with their own list.

#include <optional>
#include <string>
#include <vector>

// ttyS2 before ttyS10: digit runs compare by value.
bool NaturalLess(const std::string &a, const std::string &b);

// Serial devices of the machine, by device name under /dev ("ttyUSB0"), in
// the source's order. Throws EComPort 23 when the list cannot be read.
class TSerialDeviceSource {
public:
    virtual ~TSerialDeviceSource() = default;
    virtual std::vector<std::string> SerialDevices() const = 0;
};

// sysfs: every /sys/class/tty entry backed by a device, except 8250 ports
// whose UART type is unknown (the placeholders ttyS0..ttyS31 of most PCs).
// Natural order: ttyS2 before ttyS10.
class TSysfsSerialSource : public TSerialDeviceSource {
public:
    explicit TSysfsSerialSource(std::string classDir = "/sys/class/tty");
    std::vector<std::string> SerialDevices() const override;

private:
    std::string FClassDir;
};

// One installed modem: its name and the port it is attached to, each
// present or not.
struct TModemInfo {
    std::optional<std::string> Name;
    std::optional<std::string> AttachedTo;
};

class TModemSource {
public:
    virtual ~TModemSource() = default;
    virtual std::vector<TModemInfo> Modems() const = 0;
};

// ModemManager over the system D-Bus; no modems when the service is absent.
// Name is "Manufacturer Model", AttachedTo the modem's first AT port (else
// its primary port).
class TModemManagerSource : public TModemSource {
public:
    std::vector<TModemInfo> Modems() const override;
};

// Appends every device name of the source, in its order, duplicates kept.
void AddSerialCommPorts(std::vector<std::string> &items, const TSerialDeviceSource &source);
void AddSerialCommPorts(std::vector<std::string> &items);
// Appends, per modem, its name (always) and then its port when that is a
// serial device name ("tty..." or "COM...") not yet in the list (compared
// without regard to case).
void AddModemEntries(std::vector<std::string> &items, const TModemSource &source);
void AddModemEntries(std::vector<std::string> &items);

// ListSerialPorts's order: case-insensitive, in the locale's order.
std::vector<std::string> ListSerialPorts(const TSerialDeviceSource &source);
