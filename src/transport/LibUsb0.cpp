#include "transport/LibUsb0.h"

#include <dlfcn.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace LibUsb0 {

namespace {

// Every name looked up when the library is loaded; the first sixteen of uLibUsb0Calls are
// called, the others only looked up.
constexpr std::array<const char*, 34> cNames = {
    "usb_init", "usb_find_busses", "usb_find_devices", "usb_get_busses", "usb_set_debug",
    "usb_open", "usb_close", "usb_set_configuration", "usb_set_altinterface", "usb_resetep",
    "usb_clear_halt", "usb_reset", "usb_reset_ex", "usb_claim_interface",
    "usb_release_interface", "usb_device", "usb_control_msg", "usb_get_string",
    "usb_get_string_simple", "usb_get_descriptor", "usb_get_descriptor_by_endpoint",
    "usb_bulk_write", "usb_bulk_read", "usb_interrupt_write", "usb_interrupt_read",
    "usb_isochronous_setup_async", "usb_bulk_setup_async", "usb_interrupt_setup_async",
    "usb_submit_async", "usb_reap_async", "usb_reap_async_nocancel", "usb_cancel_async",
    "usb_free_async", "usb_get_version"};

struct uModule {
    std::mutex mMutex;
    void* pLibrary = nullptr;           // dlopen handle of the real library
    bool fLoaded = false;               // the real library, or an installed table, is in use
    const UsbSeam::uLibUsb0Calls* pCalls = nullptr;
    UsbSeam::uLibUsb0Calls uLoaded{};   // filled from the real library
    std::array<void*, cNames.size()> aLookedUp{};
};

uModule& Module() {
    static uModule m;
    return m;
}

void* Find(const uModule& m, const char* pName) {
    for (std::size_t i = 0; i < cNames.size(); ++i)
        if (std::strcmp(cNames[i], pName) == 0) return m.aLookedUp[i];
    return nullptr;
}

template <class F> void Take(const uModule& m, F& pField, const char* pName) {
    pField = reinterpret_cast<F>(Find(m, pName));
}

// The function of the table in use, or nullptr when it is missing or nothing is loaded.
template <class F> F Function(F UsbSeam::uLibUsb0Calls::*pMember) {
    uModule& m = Module();
    std::lock_guard lock(m.mMutex);
    if (!m.fLoaded || !m.pCalls) return nullptr;
    return m.pCalls->*pMember;
}

bool Missing(std::string& sError, const char* pPrefix, const char* pName) {
    sError = std::string(pPrefix) + "Die Funktion '" + pName + "' ist nicht vorhanden.";
    return false;
}

bool NullHandle(std::string& sError, const char* pPrefix) {
    sError = std::string(pPrefix) + "Der Zeiger für *uDeviceHandle ist Null.";
    return false;
}

// A call on a handle with one number, failing below 0 with pFailure + number + ": " + code.
template <class A>
bool HandleCall(int (*UsbSeam::uLibUsb0Calls::*pMember)(usb_dev_handle*, A), const char* pPrefix,
                const char* pName, const char* pFailure, usb_dev_handle* pDeviceHandle, int iValue,
                std::string& sError, int* pCode = nullptr) {
    if (pCode) *pCode = -EINVAL;
    if (!pDeviceHandle) return NullHandle(sError, pPrefix);
    auto pCall = Function(pMember);
    if (!pCall) return Missing(sError, pPrefix, pName);
    int iResult = pCall(pDeviceHandle, static_cast<A>(iValue));
    if (pCode) *pCode = iResult < 0 ? iResult : 0;
    if (iResult < 0) {
        sError = std::string(pPrefix) + pFailure + std::to_string(iValue) + ": " + std::to_string(iResult);
        return false;
    }
    return true;
}

using TransferCall = int (*)(usb_dev_handle*, int, char*, int, int);

bool Transfer(TransferCall UsbSeam::uLibUsb0Calls::*pMember, const char* pPrefix,
              const char* pName, const char* pFailure, usb_dev_handle* pDeviceHandle,
              int iEndpoint, unsigned char* pData, int& iSize, int iTimeout, int* pCode,
              std::string& sError) {
    if (pCode) *pCode = 0;
    if (!pDeviceHandle) return NullHandle(sError, pPrefix);
    if (!pData) {
        sError = std::string(pPrefix) + "Der Zeiger für *Data ist Null.";
        return false;
    }
    TransferCall pCall = Function(pMember);
    if (!pCall) return Missing(sError, pPrefix, pName);
    int iAsked = iSize;
    int iResult = pCall(pDeviceHandle, iEndpoint, reinterpret_cast<char*>(pData), iSize, iTimeout);
    if (pCode) *pCode = iResult;
    if (iResult < 0) {
        iSize = 0;
        sError = std::string(pPrefix) + pFailure + std::to_string(iResult);
        return false;
    }
    iSize = iResult > iAsked ? iAsked : iResult;
    return true;
}

} // namespace

bool LoadLibrary(std::string& sError) {
    uModule& m = Module();
    std::lock_guard lock(m.mMutex);
    if (m.fLoaded) return true;
    if (const UsbSeam::uLibUsb0Calls* pInstalled = UsbSeam::InstalledLibUsb0Calls()) {
        m.pCalls = pInstalled;
        m.fLoaded = true;
        return true;
    }
    m.pLibrary = dlopen(cLibraryFile, RTLD_NOW | RTLD_LOCAL);
    if (!m.pLibrary) {
        sError = std::string("LibUsb0::LoadLibrary: The ") + cLibraryFile +
                 " file could not be opened.";
        return false;
    }
    for (std::size_t i = 0; i < cNames.size(); ++i) m.aLookedUp[i] = dlsym(m.pLibrary, cNames[i]);
    UsbSeam::uLibUsb0Calls& c = m.uLoaded;
    Take(m, c.usb_init, "usb_init");
    Take(m, c.usb_find_busses, "usb_find_busses");
    Take(m, c.usb_find_devices, "usb_find_devices");
    Take(m, c.usb_get_busses, "usb_get_busses");
    Take(m, c.usb_open, "usb_open");
    Take(m, c.usb_close, "usb_close");
    Take(m, c.usb_set_configuration, "usb_set_configuration");
    Take(m, c.usb_claim_interface, "usb_claim_interface");
    Take(m, c.usb_release_interface, "usb_release_interface");
    Take(m, c.usb_clear_halt, "usb_clear_halt");
    Take(m, c.usb_control_msg, "usb_control_msg");
    Take(m, c.usb_get_string_simple, "usb_get_string_simple");
    Take(m, c.usb_bulk_write, "usb_bulk_write");
    Take(m, c.usb_bulk_read, "usb_bulk_read");
    Take(m, c.usb_interrupt_read, "usb_interrupt_read");
    Take(m, c.usb_get_version, "usb_get_version");
    m.pCalls = &m.uLoaded;
    m.fLoaded = true;
    return true;
}

void CloseLibrary() {
    uModule& m = Module();
    std::lock_guard lock(m.mMutex);
    if (m.pLibrary) dlclose(m.pLibrary);
    m.pLibrary = nullptr;
    m.fLoaded = false;
    m.pCalls = nullptr;
    m.uLoaded = {};
    m.aLookedUp = {};
}

bool Init(std::string& sError) {
    if (!LoadLibrary(sError)) return false;
    auto pCall = Function(&UsbSeam::uLibUsb0Calls::usb_init);
    if (!pCall) return Missing(sError, "LibUsb0::Init: ", "usb_init");
    pCall();
    return true;
}

bool FindBusses(int& iBusses, std::string& sError) {
    auto pCall = Function(&UsbSeam::uLibUsb0Calls::usb_find_busses);
    if (!pCall) return Missing(sError, "LibUsb0::FindBusses: ", "usb_find_busses");
    iBusses = pCall();
    return true;
}

bool FindDevices(int& iDevices, std::string& sError) {
    auto pCall = Function(&UsbSeam::uLibUsb0Calls::usb_find_devices);
    if (!pCall) return Missing(sError, "LibUsb0::FindDevices: ", "usb_find_devices");
    iDevices = pCall();
    return true;
}

usb_bus* GetBusses(std::string& sError) {
    auto pCall = Function(&UsbSeam::uLibUsb0Calls::usb_get_busses);
    if (!pCall) {
        Missing(sError, "LibUsb0::GetBusses: ", "usb_get_busses");
        return nullptr;
    }
    return pCall();
}

usb_dev_handle* Open(usb_device* pDevice, std::string& sError) { return Open(pDevice, nullptr, sError); }

usb_dev_handle* Open(usb_device* pDevice, int* pErrno, std::string& sError) {
    if (pErrno) *pErrno = EINVAL;
    if (!pDevice) {
        sError = "LibUsb0::Open: Der Zeiger für *uDevice ist Null.";
        return nullptr;
    }
    auto pCall = Function(&UsbSeam::uLibUsb0Calls::usb_open);
    if (!pCall) {
        Missing(sError, "LibUsb0::Open: ", "usb_open");
        return nullptr;
    }
    errno = 0;
    usb_dev_handle* pHandle = pCall(pDevice);
    if (pErrno) *pErrno = pHandle ? 0 : errno;
    return pHandle;
}

bool Close(usb_dev_handle* pDeviceHandle, std::string& sError) {
    if (!pDeviceHandle) return NullHandle(sError, "LibUsb0::Close: ");
    auto pCall = Function(&UsbSeam::uLibUsb0Calls::usb_close);
    if (!pCall) return Missing(sError, "LibUsb0::Close: ", "usb_close");
    int iResult = pCall(pDeviceHandle);
    if (iResult < 0) {
        sError = "LibUsb0::Close: Fehler beim Schliessen des USB-Geräts: " + std::to_string(iResult);
        return false;
    }
    return true;
}

bool SetConfiguration(usb_dev_handle* pDeviceHandle, int iConfiguration, int* pCode, std::string& sError) {
    return HandleCall(&UsbSeam::uLibUsb0Calls::usb_set_configuration, "LibUsb0::SetConfiguration: ",
                      "usb_set_configuration", "Fehler beim Setzen der Konfiguration ", pDeviceHandle,
                      iConfiguration, sError, pCode);
}

bool SetConfiguration(usb_dev_handle* pDeviceHandle, int iConfiguration, std::string& sError) {
    return SetConfiguration(pDeviceHandle, iConfiguration, nullptr, sError);
}

bool ClaimInterface(usb_dev_handle* pDeviceHandle, int iInterface, int* pCode, std::string& sError) {
    return HandleCall(&UsbSeam::uLibUsb0Calls::usb_claim_interface, "LibUsb0::ClaimInterface: ",
                      "usb_claim_interface", "Fehler beim Setzen der Schnittstelle ", pDeviceHandle,
                      iInterface, sError, pCode);
}

bool ClaimInterface(usb_dev_handle* pDeviceHandle, int iInterface, std::string& sError) {
    return ClaimInterface(pDeviceHandle, iInterface, nullptr, sError);
}

bool ReleaseInterface(usb_dev_handle* pDeviceHandle, int iInterface, std::string& sError) {
    return HandleCall(&UsbSeam::uLibUsb0Calls::usb_release_interface, "LibUsb0::ReleaseInterface: ",
                      "usb_release_interface", "Fehler beim Freigeben der Schnittstelle ", pDeviceHandle,
                      iInterface, sError);
}

bool ClearHalt(usb_dev_handle* pDeviceHandle, int iEndpoint, std::string& sError) {
    return HandleCall(&UsbSeam::uLibUsb0Calls::usb_clear_halt, "LibUsb0::ClearHalt: ", "usb_clear_halt",
                      "Fehler beim Zurücksetzen des Endpoints ", pDeviceHandle, iEndpoint, sError);
}

bool ControlMsg(usb_dev_handle* pDeviceHandle, int bmRequestType, int bRequest, int wValue,
                int wIndex, unsigned char* pData, int& iSize, int iTimeout, int* pCode,
                std::string& sError) {
    constexpr const char* cPrefix = "LibUsb0::ControlMsg: ";
    if (pCode) *pCode = 0;
    if (!pDeviceHandle) return NullHandle(sError, cPrefix);
    if (!pData) {
        sError = std::string(cPrefix) + "Der Zeiger für *Data ist Null.";
        return false;
    }
    auto pCall = Function(&UsbSeam::uLibUsb0Calls::usb_control_msg);
    if (!pCall) return Missing(sError, cPrefix, "usb_control_msg");
    int iResult = pCall(pDeviceHandle, bmRequestType, bRequest, wValue, wIndex,
                        reinterpret_cast<char*>(pData), iSize, iTimeout);
    if (pCode) *pCode = iResult;
    if (iResult < 0) {
        iSize = 0;
        sError = std::string(cPrefix) + "Fehler beim Control Transfer: " + std::to_string(iResult);
        return false;
    }
    iSize = iResult;
    return true;
}

bool BulkWrite(usb_dev_handle* pDeviceHandle, int iEndpoint, unsigned char* pData, int& iSize,
               int iTimeout, int* pCode, std::string& sError) {
    return Transfer(&UsbSeam::uLibUsb0Calls::usb_bulk_write, "LibUsb0::BulkWrite: ",
                    "usb_bulk_write", "Fehler beim Bulk Write Transfer: ", pDeviceHandle,
                    iEndpoint, pData, iSize, iTimeout, pCode, sError);
}

bool BulkRead(usb_dev_handle* pDeviceHandle, int iEndpoint, unsigned char* pData, int& iSize,
              int iTimeout, int* pCode, std::string& sError) {
    return Transfer(&UsbSeam::uLibUsb0Calls::usb_bulk_read, "LibUsb0::BulkRead: ",
                    "usb_bulk_read", "Fehler beim Bulk Read Transfer: ", pDeviceHandle, iEndpoint,
                    pData, iSize, iTimeout, pCode, sError);
}

bool InterruptRead(usb_dev_handle* pDeviceHandle, int iEndpoint, unsigned char* pData,
                   int& iSize, int iTimeout, int* pCode, std::string& sError) {
    return Transfer(&UsbSeam::uLibUsb0Calls::usb_interrupt_read, "LibUsb0::InterruptRead: ",
                    "usb_interrupt_read", "Fehler beim Interrupt Read Transfer: ", pDeviceHandle,
                    iEndpoint, pData, iSize, iTimeout, pCode, sError);
}

bool GetStringSimple(usb_dev_handle* pDeviceHandle, int iIndex, std::string& sString,
                     std::string& sError) {
    constexpr const char* cPrefix = "LibUsb0::GetStringSimple: ";
    if (!pDeviceHandle) return NullHandle(sError, cPrefix);
    auto pCall = Function(&UsbSeam::uLibUsb0Calls::usb_get_string_simple);
    if (!pCall) return Missing(sError, cPrefix, "usb_get_string_simple");
    std::array<char, 256> aBuffer{};
    int iResult = pCall(pDeviceHandle, iIndex, aBuffer.data(), 254);
    if (iResult < 0) {
        sError = std::string(cPrefix) +
                 "Fehler beim Ermitteln der Beschreibung des Descriptors: " + std::to_string(iResult);
        return false;
    }
    sString.assign(aBuffer.data(), strnlen(aBuffer.data(), aBuffer.size()));
    return true;
}

bool GetVersion(std::string& sVersion, std::string& sError) {
    auto pCall = Function(&UsbSeam::uLibUsb0Calls::usb_get_version);
    if (!pCall) return Missing(sError, "LibUsb0::GetVersion: ", "usb_get_version");
    const usb_version* pVersion = pCall();
    if (!pVersion) {
        sVersion.clear();
        sError = "LibUsb0::GetVersion: Es wurde ein Null-Zeiger zurückgegeben.";
        return false;
    }
    sVersion = std::to_string(pVersion->dll.major) + "." + std::to_string(pVersion->dll.minor) +
               "." + std::to_string(pVersion->dll.micro) + "." + std::to_string(pVersion->dll.nano);
    return true;
}

} // namespace LibUsb0
