#include "transport/InstanceList.h"

#include "transport/RpcVxi.h"

#include <cstdint>

namespace InstanceList {

std::string MissingText(const char* pModule, const void* pInstance) {
    return std::string(pModule) + "::Destructor: This instance does not exist. Instance number = $" +
           RpcVxi::GetHexText(reinterpret_cast<std::uintptr_t>(pInstance));
}

} // namespace InstanceList
