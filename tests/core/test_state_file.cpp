// The hub's cell state file, "station_state.bin", as another run left it.

#include <QFile>

#include "core/core.h"
#include "support/test_support.h"

using TestSupport::hex;

TEST(StateFile, CellStateOutOfItsRangeIsResetToActual)
{
    // Built from the layout: the outer stream's chunk 1 holds the cells'
    // stream, whose chunk 1 is a vector of one cell record: number 1 (chunk
    // 2), device 12 (chunk 7) and state 7 (chunk 23), which no station writes.
    const QByteArray cell = hex("82 02 04 01000000 07 04 0c000000 17 04 07000000");
    const QByteArray cells = hex("82 01 1b 01000000 13000000") + cell;
    QFile file(QStringLiteral("station_state.bin"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(hex("82 01 1e") + cells);
    file.close();
    TestSupport::writeConfig(QStringLiteral("[scanner]\ncard_reader = false\n"
                                            "[cells]\n1 = board = 0, lock = 0\n2 = board = 0, lock = 1\n"));
    StationCore* core = StationCore::instance();
    core->init();
    const CellsLogic::Cell& restored = core->cellsLogic.cells[1];
    EXPECT_EQ(restored.deviceId, 12);
    EXPECT_EQ(int(restored.state), 7);
    // At the next ageing tick, every two seconds.
    ASSERT_EVENTUALLY(restored.state == CellsLogic::csActual, 5000);
    ASSERT_EVENTUALLY(TestSupport::logHas(QStringLiteral("[CellsLogic::Cell 1] Reset state")), 2000);
    core->stop();
    core->destroy();
}
