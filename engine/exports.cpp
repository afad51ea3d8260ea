// libpyxol.so is pyxol_core linked whole; the version script keeps
// RepairSourceFile as its only exported symbol.
#include "pyxol/pyxol.h"

static_assert(sizeof(RepairParams) == 6 * sizeof(void*));
