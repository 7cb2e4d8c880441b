#include "session/StreamPace.h"
#include "session/SessionContext.h"

#include <gtest/gtest.h>

namespace {

// 300 kB/s as a device hands it over, 3000 bytes every 10 ms: a stream. A
// reply after a pause, or a trickle, is not.
TEST(StreamPace, TellsAStreamFromRepliesByTheBytesArrivalTicks)
{
    CStreamPace pace;
    uint32_t tick = 0xFFFFFF00; // across the wrap of the tick count
    EXPECT_EQ(pace.FrameMs(kDisplayFrameMs), kDisplayFrameMs);
    for (int i = 0; i < 20; ++i, tick += 10)
        pace.Note(3000, tick);
    EXPECT_TRUE(pace.IsStreaming());
    EXPECT_EQ(pace.FrameMs(kDisplayFrameMs), CStreamPace::kStreamFrameMs);
    EXPECT_EQ(pace.FrameMs(200), 200); // a longer frame asked for stays

    tick += 500;
    pace.Note(40, tick); // a reply after a pause
    EXPECT_FALSE(pace.IsStreaming());
    EXPECT_EQ(pace.FrameMs(kDisplayFrameMs), kDisplayFrameMs);

    for (int i = 0; i < 100; ++i, tick += 10)
        pace.Note(115, tick); // a 115200-baud line's pace
    EXPECT_FALSE(pace.IsStreaming());
}

} // namespace
