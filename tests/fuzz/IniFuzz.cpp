// Arbitrary bytes as an INI file: loaded, saved and loaded again. Byte 0 picks the flags the
// file is opened with (line end, separator, blank lines, byte-order mark). The second load
// must read every section, key and value as the first did.
#include "FuzzFile.h"

#include "common/Ini.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Entries = std::vector<std::tuple<std::string, std::string, std::string>>;

Entries ReadAll(uIni* ini) {
    Entries entries;
    Ini::ExamineSections(ini);
    while (Ini::NextSection(ini)) {
        const std::string sSection = Ini::SectionName(ini);
        Ini::SelectSection(ini, sSection);
        Ini::ExamineKeys(ini);
        while (Ini::NextKey(ini)) entries.emplace_back(sSection, Ini::KeyName(ini), Ini::KeyValue(ini));
    }
    return entries;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pInput, std::size_t iSize) {
    if (iSize < 1) return 0;
    static const std::int64_t aFlags[] = {IniFlagsProgram,
                                          0,
                                          IniFlagCompact | IniFlagLineEndLf,
                                          IniFlagNoBom | IniFlagLineEndCr,
                                          IniFlagSeparatorColon | IniFlagLineEndCrLf,
                                          IniFlagBlankLineBeforeSection | IniFlagNoBom | IniFlagLineEndLf,
                                          IniFlagCompact | IniFlagSeparatorColon,
                                          IniFlagNoBom};
    const std::int64_t iFlags = aFlags[pInput[0] % std::size(aFlags)];
    const std::string sFile = FuzzFile::Write("ini", pInput + 1, iSize - 1);
    std::unique_ptr<uIni> first = Ini::Open(sFile, iFlags);
    if (!first) __builtin_trap(); // the file exists
    const Entries entries = ReadAll(first.get());
    if (!Ini::Save(first.get())) __builtin_trap();
    Ini::Free(first);
    std::unique_ptr<uIni> second = Ini::Open(sFile, iFlags);
    if (!second) __builtin_trap();
    if (ReadAll(second.get()) != entries) __builtin_trap();
    Ini::Free(second);
    return 0;
}
