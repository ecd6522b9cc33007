// The serial ports of the PC, for the instrument list's port choice: every entry of the tty
// class folder that has a "device" link (a real port, not a virtual console), where a "ttyS"
// port counts only when its "type" is not 0 (the kernel lists every possible 8250 port, and
// the absent ones have type 0). Each becomes the path of its device node.
#pragma once

#include <string>
#include <vector>

namespace SerialPorts {

// The folders looked at: the tty class folder ("/sys/class/tty") and the folder of the device
// nodes ("/dev"). Tests point them at a tree of their own; empty texts restore the defaults.
void SetRoots(const std::string& sClassFolder, const std::string& sDeviceFolder);

// The ports as device paths ("/dev/ttyUSB0"), ordered by name with numbers compared by value;
// empty when the class folder cannot be read.
std::vector<std::string> List();

} // namespace SerialPorts
