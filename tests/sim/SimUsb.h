// A simulated USB bus with USBTMC/USB488 instruments, put under LibUsb1 and LibUsb0 through
// UsbSeam. The devices follow the USBTMC 1.0 and USB488 1.0 class specifications: Bulk-OUT
// message headers, REQUEST_DEV_DEP_MSG_IN, Bulk-IN responses with EOM, the class requests
// (capabilities, status byte, aborts, clear), Interrupt-IN notifications and endpoint halts.
// Every call returns at once: a transfer the device cannot serve times out without waiting.
//
//   SimUsb::Bus bus;
//   auto device = bus.AddDevice();          // a USB488 instrument over a Sim::ScpiDevice
//   bus.Install();                          // LibUsb1 and LibUsb0 now see this bus
//   ... open it through LibUsb1 / LibUsb0, or take device->Handle1() / Handle0() ...
//   bus.Uninstall();                        // also done by ~Bus
//
// Faults are scripted per device: the next replies of an endpoint or class request, stalls,
// time-outs, and a hook that runs after every Bulk-IN read.
#pragma once

#include "sim/ScpiDevice.h"
#include "transport/UsbSeam.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace SimUsb {

struct uEndpoint {
    std::uint8_t iAddress = 0;    // bit 7 set: IN
    std::uint8_t iAttributes = 2; // 2 bulk, 3 interrupt
    std::uint16_t iMaxPacketSize = 512;
};

struct uInterface {
    std::uint8_t iNumber = 0;
    std::uint8_t iClass = 0xFE, iSubClass = 3, iProtocol = 1; // USBTMC, USB488
    std::vector<uEndpoint> lEndpoints;
};

struct uConfiguration {
    std::uint8_t iValue = 1;
    std::vector<uInterface> lInterfaces;
};

struct uDeviceConfig {
    std::uint16_t iVendorId = 0x1AB1;
    std::uint16_t iProductId = 0x04CE;
    std::string sManufacturer = "Rigol Technologies";
    std::string sProduct = "DS1000Z Series";
    std::string sSerialNumber = "DS1ZA000000001";
    std::uint8_t iDeviceClass = 0, iDeviceSubClass = 0, iDeviceProtocol = 0;
    int iBusNumber = 1, iPortNumber = 1;
    // The address on the bus (0: the device's place among the bus's devices, from 1).
    int iAddress = 0;
    // Endpoints the USBTMC function uses (0: none).
    std::uint8_t iBulkOut = 0x01, iBulkIn = 0x82, iInterruptIn = 0x83;
    std::uint16_t iBulkMaxPacketSize = 512;
    // Configurations; empty: one configuration (value 1) whose only interface is the USBTMC
    // interface 0 with the endpoints above.
    std::vector<uConfiguration> lConfigurations;
    // Capabilities of GET_CAPABILITIES.
    bool fTermChar = true, fUsb4882 = true, fRenControl = true, fTrigger = true;
    bool fScpi = true, fSr1 = true, fRl1 = true, fDt1 = true;
};

struct uControlRequest {
    int bmRequestType, bRequest, wValue, wIndex, wLength;
};

class Device {
  public:
    Device(uDeviceConfig uConfig, std::shared_ptr<Sim::ScpiDevice> pScpi);

    const uDeviceConfig& Config() const { return uConfig; }
    Sim::ScpiDevice& Scpi() { return *pScpi; }

    // --- knobs ---
    // At most this many payload bytes per Bulk-IN response (0: only the REQUEST's TransferSize
    // limits it); a longer answer needs several REQUESTs, EOM on the last response only.
    void SetMaxPayload(std::size_t iBytes);
    // A response is handed out in Bulk-IN reads of at most this many bytes (0: whole).
    void SetReadChunk(std::size_t iBytes);
    // The next Bulk-IN reads return these raw bytes instead of the protocol's response.
    void PushBulkInRaw(std::vector<std::uint8_t> vRaw);
    // The next Bulk-IN / Bulk-OUT transfer fails with this libusb code (LIBUSB_ERROR_PIPE
    // stalls the endpoint until its halt is cleared).
    void PushBulkInError(int iCode);
    void PushBulkOutError(int iCode);
    // The device takes the next Bulk-OUT whole and is pulled off the bus under it: the transfer
    // ends with LIBUSB_ERROR_NO_DEVICE, its bytes counted by libusb-1.0, lost to the 0.1 side.
    std::atomic<bool> fUnplugUnderNextBulkOut{false};
    // The next class or standard request with this bRequest answers these bytes; the
    // transferred count reported is iReported when not negative (it may exceed wLength).
    void PushControlReply(int bRequest, std::vector<std::uint8_t> vReply, int iReported = -1);
    void PushControlError(int bRequest, int iCode);
    // Interrupt-IN notifications (an empty queue times out).
    void PushInterrupt(std::vector<std::uint8_t> vNotification);
    void PushInterruptError(int iCode);
    // After a message is answered, a USB488 SRQ notification {0x81, STB} is queued.
    void SetServiceRequestOnAnswer(bool fOn);
    // Raw string descriptor bytes for descriptor index iIndex (index 0 = language list).
    void SetStringDescriptor(int iIndex, std::vector<std::uint8_t> vRaw);
    // Runs after every Bulk-IN read, outside the device's lock, with the read's number.
    void SetBulkInHook(std::function<void(int)> fnHook);
    // The configuration the device is in (GET_CONFIGURATION answers it, SET_CONFIGURATION
    // changes it); at first the value of its first configuration, as after enumeration.
    void SetActiveConfiguration(int iValue);
    int ActiveConfiguration() const;
    // Interface claims fail with this libusb code (0: they succeed).
    void SetClaimError(int iCode);
    // Opens fail with this libusb code (0: they succeed); the 0.1 side answers no handle and
    // leaves the matching errno (LIBUSB_ERROR_ACCESS: EACCES, as for a device file the user
    // may not open).
    void SetOpenError(int iCode);

    // --- what happened ---
    std::vector<std::vector<std::uint8_t>> BulkOutLog() const;
    std::vector<uControlRequest> ControlLog() const;
    std::vector<int> ClearHaltLog() const;
    int BulkInReads() const;
    // The time-out of every bulk, interrupt and control transfer the host made, in ms as
    // libusb-1.0 takes it (0: no limit at all), and the 0.1 side's int as it came.
    std::vector<long long> TimeoutLog() const;
    bool Halted(int iEndpoint) const;
    // How often the device was opened, and every SET_CONFIGURATION in order: how many opens
    // had been made by then (so 1 while the first opener holds the device) and the value.
    int Opens() const;
    std::vector<std::pair<int, int>> SetConfigurationLog() const;
    // Interfaces claimed and not yet released; whether the last handle that asked wants kernel
    // drivers detached on claim (libusb-1.0 side).
    int Claims() const;
    bool AutoDetach() const;

    // --- the device's side of the bus (libusb-1.0 codes) ---
    int BulkOut(const std::uint8_t* pData, int iLength, int& iTransferred);
    int BulkIn(std::uint8_t* pData, int iLength, int& iTransferred);
    int InterruptIn(std::uint8_t* pData, int iLength, int& iTransferred);
    // >= 0: bytes (reported count); < 0: libusb code.
    int Control(int bmRequestType, int bRequest, int wValue, int wIndex, std::uint8_t* pData,
                int wLength);
    int ClearHalt(int iEndpoint);
    // 0, or the scripted open error (counted as no open).
    int Opened();
    int SetConfiguration(int iValue);
    int Claim();
    void Release();
    void SetAutoDetach(bool fOn);
    void NoteTimeout(long long iTimeout);

  private:
    struct uRequest {
        bool fPending = false;
        int iMsgId = 0, iTag = 0;
        std::uint32_t iTransferSize = 0;
        bool fTermCharEnabled = false;
        std::uint8_t iTermChar = 0;
    };

    void MessageBytes(const std::uint8_t* pData, std::size_t iSize, bool fEnd);
    bool BuildResponseLocked();
    int ControlLocked(int bmRequestType, int bRequest, int wValue, int wIndex,
                      std::vector<std::uint8_t>& vReply);

    const uDeviceConfig uConfig;
    std::shared_ptr<Sim::ScpiDevice> pScpi;

    mutable std::mutex mMutex;
    std::size_t iMaxPayload = 0, iReadChunk = 0;
    std::vector<std::uint8_t> vInFlight;      // the response being handed out
    std::size_t iInFlightPos = 0;
    uRequest uPending;
    int iInFlightTag = 0;
    int iLastOutTag = 0;
    std::uint32_t iOutReceived = 0;
    bool fHaltIn = false, fHaltOut = false;
    std::deque<std::vector<std::uint8_t>> lBulkInRaw;
    std::deque<int> lBulkInErrors, lBulkOutErrors, lInterruptErrors;
    std::map<int, std::deque<std::pair<std::vector<std::uint8_t>, int>>> mControlReplies;
    std::map<int, std::deque<int>> mControlErrors;
    std::deque<std::vector<std::uint8_t>> lInterrupts;
    bool fServiceRequestOnAnswer = false;
    std::map<int, std::vector<std::uint8_t>> mStringDescriptors;
    std::function<void(int)> fnBulkInHook;
    std::vector<std::vector<std::uint8_t>> lBulkOutLog;
    std::vector<uControlRequest> lControlLog;
    std::vector<int> lClearHaltLog;
    std::vector<long long> lTimeoutLog;
    int iBulkInReads = 0;
    int iActiveConfiguration = 0;
    int iOpens = 0;
    std::vector<std::pair<int, int>> lSetConfigurationLog;
    int iClaimError = 0;
    int iOpenError = 0;
    int iClaims = 0;
    bool fAutoDetach = false;
};

class Bus {
  public:
    Bus();
    ~Bus();
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;

    // Without a SCPI device a new Sim::ScpiDevice answers.
    std::shared_ptr<Device> AddDevice(uDeviceConfig uConfig = {},
                                      std::shared_ptr<Sim::ScpiDevice> pScpi = nullptr);

    // Pulls the device off the bus: transfers on its open handles fail from then on with
    // LIBUSB_ERROR_NO_DEVICE (-ENODEV on the 0.1 side). Adding and removing a device notify the
    // hot-plug callbacks registered at that moment, inside their context's next handle_events.
    void RemoveDevice(const std::shared_ptr<Device>& pDevice);
    // Whether the libusb-1.0 side offers hot-plug (on unless switched off), and how many
    // callbacks are registered.
    void SetHotplug(bool fOn);
    int HotplugCallbacks() const;

    // Puts this bus under LibUsb1 and LibUsb0 (one bus at a time); Uninstall restores the real
    // libraries and closes LibUsb0's use of the simulated one.
    void Install();
    void Uninstall();

    // Knobs of the libusb-1.0 side: init and the device list fail with these codes (0: no).
    void SetInitError(int iCode);
    void SetDeviceListError(int iCode);

    // Handles opened and not yet closed, contexts not yet ended, config descriptors not freed.
    int OpenHandles() const;
    int OpenContexts() const;
    int OpenConfigDescriptors() const;

    // A handle opened on a device without going through enumeration, for transport tests.
    // The caller closes it with LibUsb1::Close / LibUsb0::Close.
    libusb_device_handle* Open1(const std::shared_ptr<Device>& pDevice);
    usb_dev_handle* Open0(const std::shared_ptr<Device>& pDevice);

    struct uState;

  private:
    std::unique_ptr<uState> pState;
};

} // namespace SimUsb
