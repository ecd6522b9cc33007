// A file of the fuzz input for readers that take a file name: one per process under the
// temporary folder, rewritten for every input.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace FuzzFile {

// Removes the file when the process ends.
struct uRemover {
    std::string sFile;
    ~uRemover() { std::remove(sFile.c_str()); }
};

inline std::string Write(const char* pName, const std::uint8_t* pData, std::size_t iSize) {
    const std::string sFile = "/tmp/orvanto-fuzz-" + std::to_string(getpid()) + "-" + pName;
    static uRemover remover{sFile}; // one name per target
    std::FILE* f = std::fopen(sFile.c_str(), "wb");
    if (!f) __builtin_trap();
    if (iSize && std::fwrite(pData, 1, iSize, f) != iSize) __builtin_trap();
    std::fclose(f);
    return sFile;
}

} // namespace FuzzFile
