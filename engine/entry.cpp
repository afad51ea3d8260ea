// Placeholder entry point until the driver lands.
#include "pyxol/pyxol.h"

extern "C" PYXOL_API int32_t RepairSourceFile(const RepairParams* params) {
    (void)params;
    return 0;
}
