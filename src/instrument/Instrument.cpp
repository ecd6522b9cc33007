#include "instrument/Instrument.h"

#include "common/IconFile.h"
#include "common/UtilityGui.h"
#include "icons/VectorIcon.h"
#include "instrument/InstrumentDefault.h"
#include "instrument/ModelTable.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace Instrument {
namespace {

struct uModule {
    std::mutex mutex;
    bool fInitialised = false;
    std::vector<InstrumentObject> mInstrumentList;
};

// Made once and never destroyed, like the instances that its objects lead to.
uModule& Module() {
    static uModule* pModule = new uModule;
    return *pModule;
}

// The listed object with the candidate's identity; the module mutex is held.
InstrumentObject FindLocked(const uModule& module, const uTaskPrepare& candidate) {
    for (const InstrumentObject& object : module.mInstrumentList) {
        uInfo info;
        std::string sError;
        if (!object->pInterface->GetInfo(*object, info, sError)) continue;
        if (SameInstrument(info.connection, candidate)) return object;
    }
    return nullptr;
}

bool SameUserModel(const uTaskPrepare& listed, const uTaskPrepare& candidate) {
    return listed.fUserModel == 0 || candidate.sUserManufacturer.empty() ||
           (listed.sUserManufacturer == candidate.sUserManufacturer && listed.sUserModel == candidate.sUserModel);
}

} // namespace

bool InitModuleInstrument(std::string& sError) {
    (void)sError; // the module's state cannot fail to exist
    uModule& module = Module();
    std::lock_guard lock(module.mutex);
    module.fInitialised = true;
    return true;
}

InstrumentObject Create(std::string& sError) {
    if (!InitModuleInstrument(sError)) {
        sError = "Instrument::Create: The module could not be initialized.";
        return nullptr;
    }
    auto pObject = std::make_shared<uInstrumentObject>();
    pObject->pInterface = &InstrumentDefault::Interface();
    if (!pObject->pInterface->NewInstance(*pObject, sError)) return nullptr;
    uModule& module = Module();
    std::lock_guard lock(module.mutex);
    module.mInstrumentList.push_back(pObject);
    return pObject;
}

bool Release(const InstrumentObject& object, std::string& sError) {
    if (!object) {
        sError = "Instrument::Release: The pointer to the passed object is zero.";
        return false;
    }
    bool fFound = false;
    {
        uModule& module = Module();
        std::lock_guard lock(module.mutex);
        auto& list = module.mInstrumentList;
        const auto it = std::find(list.begin(), list.end(), object);
        if (it != list.end()) {
            list.erase(it);
            fFound = true;
        }
    }
    if (!fFound) {
        sError = "Instrument::Release: The instrument is not present in the 'mInstrumentList()' list.";
        return false;
    }
    return object->pInterface->DeleteInstance(*object, sError);
}

bool InUse(const InstrumentObject& object) {
    return object->pInterface->IsConnected(*object) || !InstrumentDefault::Holders(*object).empty();
}

bool ReleaseAll(bool fAll, std::int64_t eProtocol, std::string& sError) {
    std::vector<InstrumentObject> copy;
    if (!CopyInstrumentList(copy)) return false;
    for (const InstrumentObject& object : copy) {
        if (!fAll && InUse(object)) continue;
        if (eProtocol != 0) {
            uInfo info;
            std::string sInfoError;
            if (object->pInterface->GetInfo(*object, info, sInfoError) && info.connection.eProtocol != eProtocol) {
                continue;
            }
        }
        std::string sReleaseError;
        Release(object, sReleaseError);
    }
    (void)sError;
    return true;
}

bool SameInstrument(const uTaskPrepare& listed, const uTaskPrepare& candidate) {
    if (listed.eProtocol != candidate.eProtocol || listed.eInterface != candidate.eInterface) return false;
    switch (listed.eInterface) {
    case InterfaceUsbTmc:
        return listed.usb.iVendorId == candidate.usb.iVendorId && listed.usb.iProductId == candidate.usb.iProductId &&
               (candidate.usb.sSerialNumber.empty() || listed.usb.sSerialNumber == candidate.usb.sSerialNumber);
    case InterfaceVxi11:
        return SameUserModel(listed, candidate) && listed.vxi11.sInstrumentIp == candidate.vxi11.sInstrumentIp &&
               listed.vxi11.iPortmapperPort == candidate.vxi11.iPortmapperPort &&
               listed.vxi11.iCorePort == candidate.vxi11.iCorePort;
    case InterfaceRawTcp:
        return SameUserModel(listed, candidate) && listed.rawTcp.sInstrumentIp == candidate.rawTcp.sInstrumentIp &&
               listed.rawTcp.iPort == candidate.rawTcp.iPort;
    case InterfaceSerial: return SameUserModel(listed, candidate) && listed.serial.sPort == candidate.serial.sPort;
    default: return false;
    }
}

InstrumentObject FindExisting(const uTaskPrepare& candidate) {
    uModule& module = Module();
    std::lock_guard lock(module.mutex);
    if (!module.fInitialised) return nullptr;
    return FindLocked(module, candidate);
}

InstrumentObject FindOrCreate(const uTaskPrepare& candidate, bool& fCreated, std::string& sError) {
    fCreated = false;
    if (!InitModuleInstrument(sError)) {
        sError = "Instrument::Create: The module could not be initialized.";
        return nullptr;
    }
    uModule& module = Module();
    std::lock_guard lock(module.mutex);
    if (InstrumentObject existing = FindLocked(module, candidate)) return existing;
    // Lock order: the list, then the instances; both steps below take the instances' mutex.
    auto pObject = std::make_shared<uInstrumentObject>();
    pObject->pInterface = &InstrumentDefault::Interface();
    if (!pObject->pInterface->NewInstance(*pObject, sError)) return nullptr;
    InstrumentDefault::SetConnection(*InstrumentDefault::FindInstance(*pObject), candidate);
    module.mInstrumentList.push_back(pObject);
    fCreated = true;
    return pObject;
}

bool CopyInstrumentList(std::vector<InstrumentObject>& list) {
    uModule& module = Module();
    std::lock_guard lock(module.mutex);
    if (!module.fInitialised) return false;
    list = module.mInstrumentList;
    return true;
}

QImage DrawModelPicture(std::int64_t eModel, int iWidth, int iHeight) {
    switch (eModel) {
    case ModelNone:
    case ModelGeneric:
    case ModelRigolDM3068:
    case ModelSiglentSDS5000XCh2:
    case ModelSiglentSDS5000XCh4:
    case ModelSiglentSVA1000X:
    case ModelTonghuiTH1951:
    case ModelOwnDevicePIC18F: return VectorIcon::PictureGeneric(iWidth, iHeight);
    case 2: return VectorIcon::PictureModel2(iWidth, iHeight);
    case ModelRohdeSchwarzRTB2000Ch2:
    case ModelRohdeSchwarzRTB2000Ch4: return VectorIcon::PictureRtb2000(iWidth, iHeight);
    case ModelRigolDSA: return VectorIcon::PictureDsa800(iWidth, iHeight);
    case ModelRigolDS1000Z:
    case ModelRigolDS1000ZPlus: return VectorIcon::PictureDs1000Z(iWidth, iHeight);
    case ModelRigolDS2000:
    case ModelRigolMSO2000: return VectorIcon::PictureDs2000(iWidth, iHeight);
    case ModelRigolMSO5000Ch2:
    case ModelRigolMSO5000Ch4: return VectorIcon::PictureMso5000(iWidth, iHeight);
    case ModelRigolDG4000: return VectorIcon::PictureDg4000(iWidth, iHeight);
    case ModelRigolDP800: return VectorIcon::PictureDp800(iWidth, iHeight);
    case ModelPicotestM3500A: return VectorIcon::PictureM3500A(iWidth, iHeight);
    case ModelHamegHM2008:
    case ModelHamegHM1508:
    case ModelHamegHM1008: return VectorIcon::PictureHm2008(iWidth, iHeight);
    case ModelSiglentSDS2000XPlusCh2:
    case ModelSiglentSDS2000XPlusCh4: return VectorIcon::PictureSds2000XPlus(iWidth, iHeight);
    default: return QImage();
    }
}

int IconSize(double dScale, bool fLarge) {
    const long iScaled = std::lround(100 * dScale);
    if (iScaled == 100 || !fLarge) return 32;
    return iScaled >= 175 ? 64 : 48;
}

int ScaleToDesktop(int iPixels) { return static_cast<int>(std::lround(iPixels * Utility::DesktopScale())); }

std::vector<std::uint8_t> CreateIcon(std::int64_t eModel, bool fLarge) {
    const int iId = IconFile::Begin(-1, "", 0);
    if (iId < 0) return {};
    const int iSize = IconSize(Utility::DesktopScale(), fLarge);
    const QImage picture = DrawModelPicture(eModel, iSize, iSize);
    if (!picture.isNull()) IconFile::AddImage(iId, picture, -1);
    return IconFile::Build(iId);
}

} // namespace Instrument
