// The time-stamp texts shared by the display and the capture file.
#include "display/TimeStamp.h"

#include <gtest/gtest.h>

namespace {

struct StampCase
{
    int format;
    uint32_t elapsed;
    const char* text;
};

class StampTexts : public ::testing::TestWithParam<StampCase>
{
};

TEST_P(StampTexts, MatchTheFormat)
{
    const StampCase c = GetParam();
    const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7));
    EXPECT_EQ(TimeStamp::Format(c.format, c.elapsed, when), QByteArray(c.text));
    EXPECT_EQ(TimeStamp::Format(c.format, c.elapsed, when, TimeStamp::Division::Capture),
              QByteArray(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, StampTexts,
    ::testing::Values(StampCase{0, 1234, ""}, StampCase{1, 1234, "<1234ms>"},
                      StampCase{2, 1234, "<1.2s>"}, StampCase{3, 1234, "<1s>"},
                      StampCase{4, 1234, "<1s>"}, StampCase{1, 125000, "<125000ms>"},
                      StampCase{2, 125000, "<125.0s>"}, StampCase{3, 125000, "<125s>"},
                      StampCase{4, 125000, "<2m 5s>"}, StampCase{4, 59999, "<59s>"},
                      StampCase{4, 60000, "<1m 0s>"}, StampCase{2, 1000, "<1.0s>"},
                      StampCase{5, 0, "<2026-03-04 05:06:07>"}, StampCase{6, 0, "<05:06:07>"},
                      StampCase{7, 0, ""},
                      // A pause longer than 24.8 days stays positive.
                      StampCase{1, 3000000000u, "<3000000000ms>"},
                      StampCase{4, 3000000000u, "<50000m 0s>"}));

TEST(StampRule, DueOnlyAfterALongerPauseComparedUnsigned)
{
    EXPECT_FALSE(TimeStamp::IsDue(500, 500));
    EXPECT_TRUE(TimeStamp::IsDue(501, 500));
    EXPECT_FALSE(TimeStamp::IsDue(0, 0));
    EXPECT_TRUE(TimeStamp::IsDue(1, 0));
    EXPECT_FALSE(TimeStamp::IsDue(0xFFFFFFFFu, -1)); // a negative minimum: never
}

} // namespace
