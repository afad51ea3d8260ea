#include <gtest/gtest.h>
#include "pyxol/pyxol.h"

TEST(Abi, MaskIsAnInvolution) {
    RepairParams p{};
    p.nReserved = 7;
    RepairParams m = PyxolMaskParams(PyxolMaskParams(p));
    EXPECT_EQ(m.nReserved, 7);
}
