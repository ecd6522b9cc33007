#include "transport/SerialPorts.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <system_error>

namespace SerialPorts {
namespace {

std::mutex mutexRoots;
std::string sClassRoot = "/sys/class/tty";
std::string sDeviceRoot = "/dev";

// "ttyS" followed by digits only: the 8250 ports that the kernel lists whether present or not.
bool IsLegacyPort(const std::string& sName) {
    if (sName.size() <= 4 || sName.compare(0, 4, "ttyS") != 0) return false;
    return std::all_of(sName.begin() + 4, sName.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// The number in the port's "type" file; 0 when it cannot be read.
long PortType(const std::filesystem::path& entry) {
    std::ifstream file(entry / "type");
    long iType = 0;
    if (!(file >> iType)) return 0;
    return iType;
}

// Names with their digit runs compared by value: ttyS2 before ttyS10.
bool NaturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool fDigitA = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool fDigitB = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (fDigitA && fDigitB) {
            std::size_t iEndA = i, iEndB = j;
            while (iEndA < a.size() && std::isdigit(static_cast<unsigned char>(a[iEndA]))) ++iEndA;
            while (iEndB < b.size() && std::isdigit(static_cast<unsigned char>(b[iEndB]))) ++iEndB;
            std::string sA = a.substr(i, iEndA - i), sB = b.substr(j, iEndB - j);
            sA.erase(0, std::min(sA.find_first_not_of('0'), sA.size() - 1));
            sB.erase(0, std::min(sB.find_first_not_of('0'), sB.size() - 1));
            if (sA.size() != sB.size()) return sA.size() < sB.size();
            if (sA != sB) return sA < sB;
            i = iEndA;
            j = iEndB;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

} // namespace

void SetRoots(const std::string& sClassFolder, const std::string& sDeviceFolder) {
    const std::lock_guard<std::mutex> lock(mutexRoots);
    sClassRoot = sClassFolder.empty() ? "/sys/class/tty" : sClassFolder;
    sDeviceRoot = sDeviceFolder.empty() ? "/dev" : sDeviceFolder;
}

std::vector<std::string> List() {
    std::string sClass, sDevice;
    {
        const std::lock_guard<std::mutex> lock(mutexRoots);
        sClass = sClassRoot;
        sDevice = sDeviceRoot;
    }
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(sClass, error), end; !error && it != end; it.increment(error)) {
        const std::filesystem::path entry = it->path();
        const std::string sName = entry.filename().string();
        std::error_code linkError;
        if (!std::filesystem::exists(std::filesystem::symlink_status(entry / "device", linkError))) continue;
        if (IsLegacyPort(sName) && PortType(entry) == 0) continue;
        names.push_back(sName);
    }
    std::sort(names.begin(), names.end(), NaturalLess);
    std::vector<std::string> ports;
    ports.reserve(names.size());
    for (const std::string& sName : names) ports.push_back(sDevice + "/" + sName);
    return ports;
}

} // namespace SerialPorts
