#include "transport/InstanceList.h"

#include <cstdint>

namespace InstanceList {

std::string MissingText(const char* pModule, const void* pInstance) {
    static const char digits[] = "0123456789ABCDEF";
    std::uintptr_t iValue = reinterpret_cast<std::uintptr_t>(pInstance);
    std::string sHex;
    do {
        sHex.insert(sHex.begin(), digits[iValue & 0xF]);
        iValue >>= 4;
    } while (iValue != 0);
    return std::string(pModule) + "::Destructor: This instance does not exist. Instance number = $" + sHex;
}

} // namespace InstanceList
