// The driver of one repair call, behind the exported RepairSourceFile.
#pragma once

#include <cstdint>
#include <string>

#include "pyxol/pyxol.h"
#include "state.h"

namespace pyxol {

// Runs one repair: resolves the output directory, opens the source, sends the
// report header and hands the source to the scanner its extension selects.
// Returns the scanner's result, or 0 when the call failed before the scan.
int32_t RunRepair(const RepairOptions* options, CDBXFile5& state, const std::u16string& sourcePath,
                  const std::u16string& outputDir);

// True when the source goes to the MBX scanner: its extension (the text from
// the last "." when no "/" follows it) is ".mbx" in any case.
bool IsMbxSourcePath(const std::u16string& sourcePath);

}  // namespace pyxol
