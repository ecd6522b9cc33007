// Reading whole files for the script engine: text with its encoding taken from the
// byte-order mark, or raw bytes. The error texts carry no procedure prefix: the caller adds
// its own context. Only regular files are read: a folder, a pipe, a device or a name holding a
// NUL byte is refused before anything is opened, so no load waits for a writer.
#pragma once

#include "common/DataBuffer.h"

#include <atomic>
#include <string>
#include <string_view>

namespace Utility {

// Double quotes around the name are removed. UTF-8 with mark, UTF-16 little-endian with mark,
// or, without a mark, UTF-8 when the bytes are valid UTF-8 and Windows-1252 otherwise; the
// text is returned as UTF-8 with its line ends unchanged. Other marks are refused. Under a
// UTF-8 mark, a byte that begins no well-formed sequence becomes U+FFFD.
// pStop (when given) is looked at every megabyte read: once it is set, the load gives up with
// "Operation canceled" and leaves sFileString as it was (so does LoadBinaryFile its buffer).
bool LoadTextFile(const std::string& sFileName, std::string& sFileString, std::string& sError,
                  const std::atomic<bool>* pStop = nullptr);

// Bytes without a mark as text: as they are when they are valid UTF-8, else each byte read as
// Windows-1252 (the way LoadTextFile reads a file without a mark).
std::string TextFromAnsiBytes(std::string_view bytes);

// Double quotes around the name are removed. The whole file, exactly its size; an empty file
// fails too.
bool LoadBinaryFile(const std::string& sFileName, DataBuffer& fileData, std::string& sError,
                    const std::atomic<bool>* pStop = nullptr);

} // namespace Utility
