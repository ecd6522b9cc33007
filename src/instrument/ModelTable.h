// The instrument models: the model numbers, the table of makers and model keys that finds a
// model from the *IDN? answer (or the maker and model the user typed), and the identification
// record with its normalisation.
#pragma once

#include "common/Failure.h"
#include "instrument/ConnectionDescription.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum eModel : std::int64_t {
    ModelNone = 0,
    ModelGeneric = 1,
    ModelRohdeSchwarzRTB2000Ch2 = 3,
    ModelRohdeSchwarzRTB2000Ch4 = 4,
    ModelRigolDSA = 5,
    ModelRigolDS1000Z = 6,
    ModelRigolDS1000ZPlus = 7,
    ModelRigolDS2000 = 8,
    ModelRigolMSO2000 = 9,
    ModelRigolMSO5000Ch2 = 10,
    ModelRigolMSO5000Ch4 = 11,
    ModelRigolDG4000 = 12,
    ModelRigolDP800 = 13,
    ModelPicotestM3500A = 14,
    ModelHamegHM2008 = 15,
    ModelHamegHM1508 = 16,
    ModelHamegHM1008 = 17,
    ModelSiglentSDS2000XPlusCh2 = 18,
    ModelSiglentSDS2000XPlusCh4 = 19,
    ModelRigolDM3068 = 21,
    ModelSiglentSDS5000XCh2 = 22,
    ModelSiglentSDS5000XCh4 = 23,
    ModelSiglentSVA1000X = 24,
    ModelTonghuiTH1951 = 25,
    ModelOwnDevicePIC18F = 26,
};

// The identification of an instrument.
struct uIdn {
    std::string sIdn;          // the answer as received (as UTF-8), trailing blanks, TAB, CR and LF removed
    std::string sManufacturer; // fields 1 to 4 of the normalised answer, split at ","
    std::string sModel;
    std::string sSerialNumber;
    std::string sFirmware;
    // Why the read that was to fill it gave nothing (eType None: it answered, or none was made).
    Failure::uFailure failure{};
};

namespace Instrument {

// The model of the instrument: from the user's maker and model texts when fUserModel is set
// (each falling back to the identification when empty), else from the identification. Makers
// are tried in table order; the first maker that matches decides alone; its model keys are
// tried in order; no match gives ModelGeneric. Keys match as case-insensitive substrings.
// With iLimit non-zero, a result of 20 or more becomes ModelGeneric.
std::int64_t GetModelFromIdn(const uTaskPrepare& connection, const uIdn& idn, std::int64_t iLimit);

// The answer with the known irregular identifications rewritten into the usual four fields.
std::string FixIdnAnswer(const std::string& sAnswer);

// Whether bytes an instrument sent are text, and which. NULs before the first other byte and
// among the line-end bytes at the end pad them (some instruments end their answers with one,
// before or behind the line feed, or pad with several; an adapter may pass one on ahead): they
// are taken off. What is left is noise (nullopt), as a serial line set otherwise than the
// instrument sends gives, when it holds a control byte other than tab, CR and LF, is neither
// UTF-8 nor Windows-1252, or less than three quarters of its characters are ASCII (those of a
// maker, model, serial number and firmware mostly are). Text comes back as UTF-8: bytes that are
// UTF-8 as they are, others read as Windows-1252 (a "\xB5" as "µ", a "\x99" as "™"). The end of
// a cut answer may cut a UTF-8 character off, which then ends the text as U+FFFD. Every
// identification answer, ended or cut, is judged here.
std::optional<std::string> AnswerText(std::string_view sBytes);

// The identification record of the raw answer bytes (AnswerText). Noise is no identification,
// nor is an empty line, nor text whose first two fields are blank (",,,": it names no maker and
// no model): the record is empty, and its failure (BadAnswer, fNoText, fEmpty or fNoNames)
// counts the bytes.
uIdn ParseIdn(std::string_view sAnswer);

} // namespace Instrument
