// The lab network of the selection window's live search: the PC at 192.168.77.1/24 with two
// VXI-11 instruments and a raw SCPI one (TCP port 5025 and its datagram responder). Shared by
// the search tests and the screenshot tool.
#pragma once

#include "sim/LanNetwork.h"

#include <vector>

namespace SelectLab {

inline const Sim::uLanSubnet Subnet{"192.168.77.1", 24};

inline std::vector<Sim::uLanInstrument> Instruments() {
    Sim::uLanInstrument rigol;
    rigol.sAddress = "192.168.77.10";
    rigol.sIdn = "RIGOL TECHNOLOGIES,DS1104Z,DS1ZA170000001,00.04.04.SP4";
    rigol.fVxi11 = true;
    Sim::uLanInstrument siglent = rigol;
    siglent.sAddress = "192.168.77.11";
    siglent.sIdn = "Siglent Technologies,SDS2104X Plus,SDS2PA0000002,1.3.7R5";
    Sim::uLanInstrument rohde;
    rohde.sAddress = "192.168.77.12";
    rohde.sIdn = "Rohde&Schwarz,RTB2004,1333.1005k04/102345,02.300";
    rohde.fRawTcp = rohde.fRawUdp = true;
    return {rigol, siglent, rohde};
}

} // namespace SelectLab
