// A USBTMC transport instance on a simulated USB488 instrument, through either USB library.
#pragma once

#include "transport/UsbTmc.h"
#include "common/TestApplication.h"

#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "sim/SimUsb.h"
#include "transport/LibUsb0.h"
#include "transport/LibUsb1.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

class UsbTmcFixture : public ::testing::TestWithParam<bool> {
  protected:
    static void SetUpTestSuite() {
        TestApplication::EnsureCore();
    }

    void SetUp() override { Start({}); }

    // (Re)starts on a device with this configuration.
    void Start(SimUsb::uDeviceConfig uConfig) {
        Stop();
        EventHub::Init();
        lPauses.clear();
        UsbTmc::SetPauseFunction([this](std::chrono::milliseconds t) { lPauses.push_back(t.count()); });
        pBus = std::make_unique<SimUsb::Bus>();
        pScpi = std::make_shared<Sim::ScpiDevice>();
        pScpi->SetIdn("RIGOL TECHNOLOGIES,DS1104Z,DS1ZA000000001,00.04.04");
        pDevice = pBus->AddDevice(uConfig, pScpi);
        pBus->Install();
        uUsbTmcSettings s;
        if (LibUsb0()) {
            std::string sLoad;
            ASSERT_TRUE(LibUsb0::Init(sLoad));
            s.fLibUsb0 = 1;
            s.pDeviceHandle = pBus->Open0(pDevice);
        } else {
            s.fLibUsb1 = 1;
            s.pDeviceHandle = pBus->Open1(pDevice);
        }
        s.iInterface = 0;
        s.iInterruptIn = uConfig.iInterruptIn ? uConfig.iInterruptIn : 0x83;
        s.iBulkOut = uConfig.iBulkOut;
        s.iBulkOutMaxPacketSize = uConfig.iBulkMaxPacketSize;
        s.iBulkIn = uConfig.iBulkIn;
        s.iBulkInMaxPacketSize = uConfig.iBulkMaxPacketSize;
        pInstance = UsbTmc::NewInstance(sError);
        ASSERT_TRUE(pInstance);
        ASSERT_TRUE(UsbTmc::SetInstrument(*pInstance, s, sError)) << sError;
    }

    void Stop() {
        if (pInstance) {
            std::string sIgnored;
            EXPECT_TRUE(UsbTmc::DeleteInstance(pInstance.get(), sIgnored));
            if (LibUsb0()) LibUsb0::Close(static_cast<usb_dev_handle*>(pInstance->uSettings.pDeviceHandle), sIgnored);
            else LibUsb1::Close(static_cast<libusb_device_handle*>(pInstance->uSettings.pDeviceHandle));
            pInstance.reset();
        }
        if (pBus) {
            EXPECT_EQ(pBus->OpenHandles(), 0);
        }
        pBus.reset();
        UsbTmc::SetPauseFunction(nullptr);
    }

    void TearDown() override { Stop(); }

    bool LibUsb0() const { return GetParam(); }
    UsbTmc::uUsbTmcInstance& U() { return *pInstance; }

    // Prepares and sends one command.
    bool Send(const std::string& sCommand, int iMsgId = UsbTmc::MsgDevDepOut) {
        std::int64_t iSent = 0;
        return UsbTmc::PrepareData(U(), sCommand, nullptr, 0, sError) &&
               UsbTmc::SendData(U(), iMsgId, iSent, WindowNobody, sError);
    }

    // Makes the instrument hold sAnswer (bytes as given) by sending it a query for it.
    void Answer(const std::string& sAnswer) {
        pScpi->SetAnswer("SIM:ANSWER?", std::vector<std::uint8_t>(sAnswer.begin(), sAnswer.end()));
        ASSERT_TRUE(Send("SIM:ANSWER?")) << sError;
    }

    // Reads one answer; empty optional text on failure is told apart by the result.
    bool Receive(std::string& sAnswer, int iMsgId = UsbTmc::MsgRequestDevDepIn, int iWindow = WindowNobody) {
        DataBuffer Data;
        std::int64_t iTransferred = -1;
        bool fOk = UsbTmc::RequestData(U(), Data, iTransferred, iMsgId, iWindow, sError);
        sAnswer = fOk ? std::string(Data.view()) : std::string();
        // A time-out keeps what came, counted; any other failure leaves nothing.
        EXPECT_EQ(iTransferred, static_cast<std::int64_t>(Data.size()));
        if (!fOk && U().eFailure != Failure::eKind::TimedOut) EXPECT_FALSE(Data.allocated());
        return fOk;
    }

    // Bulk-OUT transfers that were REQUEST headers.
    int Requests() const {
        int n = 0;
        for (const auto& v : pDevice->BulkOutLog())
            if (v.size() == 12 && (v[0] == 2 || v[0] == 127)) ++n;
        return n;
    }

    int ControlCount(int bRequest) const {
        int n = 0;
        for (const auto& c : pDevice->ControlLog())
            if (c.bRequest == bRequest) ++n;
        return n;
    }

    std::unique_ptr<SimUsb::Bus> pBus;
    std::shared_ptr<SimUsb::Device> pDevice;
    std::shared_ptr<Sim::ScpiDevice> pScpi;
    std::shared_ptr<UsbTmc::uUsbTmcInstance> pInstance;
    std::vector<long long> lPauses;
    std::string sError;
};

inline std::string LibraryName(const ::testing::TestParamInfo<bool>& info) {
    return info.param ? "LibUsb0" : "LibUsb1";
}

// A Bulk-IN response header of the device.
inline std::vector<std::uint8_t> ResponseHeader(int iMsgId, int iTag, std::uint32_t iTransferSize,
                                                int iAttributes, const std::string& sPayload = {},
                                                std::size_t iPadTo = 4) {
    std::vector<std::uint8_t> v{static_cast<std::uint8_t>(iMsgId), static_cast<std::uint8_t>(iTag),
                                static_cast<std::uint8_t>(~iTag), 0,
                                static_cast<std::uint8_t>(iTransferSize),
                                static_cast<std::uint8_t>(iTransferSize >> 8),
                                static_cast<std::uint8_t>(iTransferSize >> 16),
                                static_cast<std::uint8_t>(iTransferSize >> 24),
                                static_cast<std::uint8_t>(iAttributes), 0, 0, 0};
    v.reserve(v.size() + sPayload.size() + iPadTo);
    v.insert(v.end(), sPayload.begin(), sPayload.end());
    while (iPadTo && v.size() % iPadTo) v.push_back(0);
    return v;
}
