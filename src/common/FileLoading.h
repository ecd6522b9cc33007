// Reading whole files for the script engine: text with its encoding taken from the
// byte-order mark, or raw bytes. The error texts carry no procedure prefix: the caller adds
// its own context.
#pragma once

#include "common/DataBuffer.h"

#include <string>

namespace Utility {

// Double quotes around the name are removed. UTF-8 with mark, UTF-16 little-endian with mark,
// or, without a mark, UTF-8 when the bytes are valid UTF-8 and Windows-1252 otherwise; the
// text is returned as UTF-8 with its line ends unchanged. Other marks are refused. Under a
// UTF-8 mark, a byte that begins no well-formed sequence becomes U+FFFD.
bool LoadTextFile(const std::string& sFileName, std::string& sFileString, std::string& sError);

// Double quotes around the name are removed. The whole file, exactly its size; an empty file
// fails too.
bool LoadBinaryFile(const std::string& sFileName, DataBuffer& fileData, std::string& sError);

} // namespace Utility
