#pragma once
// What an errno value means to the port, in one table: whether the device is
// gone, whether it merely has no modem lines, and what a user can do about a
// failed open. Everything that asks these questions reads this table.

#include <string>
#include <sys/types.h>
#include <vector>

// The device itself went away (unplugged, far end of a pseudo-terminal
// closed): EIO, ENXIO, ENODEV.
bool IsDeviceLostError(int Errno);
// A modem-line request answered by a device without modem lines (a
// pseudo-terminal): ENOTTY, EINVAL.
bool IsNoModemLinesError(int Errno);

// A process that holds a device open.
struct TDeviceHolder {
    pid_t Pid = 0;
    std::string Command;  // its command name, "" when unreadable
};

// What the system tells about a device that did not open.
struct TOpenFacts {
    std::string Group;                   // the device's group, "" when unknown
    std::vector<TDeviceHolder> Holders;  // processes holding it (where readable)
};

// Looks up what helps explain Errno for Path: the group of the device on
// EACCES/EPERM, the processes holding it on EBUSY (from /proc/*/fd, where
// readable).
TOpenFacts GatherOpenFacts(int Errno, const std::string &Path);

// Every process whose open descriptors include Path (after symbolic links).
std::vector<TDeviceHolder> DeviceHolders(const std::string &Path);

// One line for the user: the system's words for Errno and the cure, e.g.
// "Permission denied: the device belongs to the group 'dialout'; join it
// with sudo usermod -aG dialout $USER, then log in again."
std::string OpenFailureCause(int Errno, const TOpenFacts &Facts);
