// Arbitrary bytes as the answer to *IDN?: rewritten, parsed into its fields and matched against
// the model table, as the connect does, and with the bytes as the user's maker and model.
#include "instrument/ModelTable.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pInput, std::size_t iSize) {
    const std::string sAnswer(reinterpret_cast<const char*>(pInput), iSize);
    const std::string sFixed = Instrument::FixIdnAnswer(sAnswer);
    const uIdn idn = Instrument::ParseIdn(sFixed);
    // Text becomes UTF-8 (Windows-1252 at most three bytes for each) without the NULs that padded
    // it, noise nothing.
    if (idn.sIdn.size() > 3 * sFixed.size() || idn.sIdn.find('\0') != std::string::npos) __builtin_trap();
    // The first three fields end at a comma; the fourth takes the rest.
    for (const std::string* p : {&idn.sManufacturer, &idn.sModel, &idn.sSerialNumber}) {
        if (p->find(',') != std::string::npos) __builtin_trap();
    }
    uTaskPrepare connection;
    for (std::int64_t iLimit : {0, 1}) {
        const std::int64_t eModel = Instrument::GetModelFromIdn(connection, idn, iLimit);
        if (eModel < ModelGeneric || (iLimit && eModel >= 20)) __builtin_trap();
    }
    // The user's maker and model: the bytes split in two.
    connection.fUserModel = 1;
    connection.sUserManufacturer = sAnswer.substr(0, iSize / 2);
    connection.sUserModel = sAnswer.substr(iSize / 2);
    if (Instrument::GetModelFromIdn(connection, Instrument::ParseIdn(sAnswer), 0) < ModelGeneric) __builtin_trap();
    return 0;
}
