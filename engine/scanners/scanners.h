// The two carving scanners and the span copy they share.
#pragma once

#include <cstdint>
#include <string>

#include "reader.h"
#include "state.h"

namespace pyxol {

int32_t ScanDBXFile(CDBXFile5& state, CFileEx& reader, const std::u16string& fullOutputDir);
int32_t ScanMBXFile(CDBXFile5& state, CFileEx& reader, const std::u16string& fullOutputDir);

// Copies `length` bytes of the source from the reader's position into
// `destination`; a span past the end is padded with zeros (at most 1 MiB of
// padding per copy). The reader's position is restored.
void CopySpan(CFileEx& reader, CFile& destination, uint64_t length);

}  // namespace pyxol
