// The history setting in the program's profile (this executable's own).
#include "session/HistorySetting.h"
#include "platform/Profile.h"

#include <gtest/gtest.h>

namespace {

TEST(HistorySetting, KeptInTheProfileWithinItsRange)
{
    Platform::OpenProfile()->remove(QStringLiteral("Display/HistoryLines"));
    EXPECT_EQ(HistorySetting::Load(), 100);
    HistorySetting::Save(100000);
    EXPECT_EQ(HistorySetting::Load(), 100000);
    HistorySetting::Save(0);
    EXPECT_EQ(HistorySetting::Load(), 100);

    // A profile edited by hand.
    for (const auto& [text, lines] : {std::pair{"lots", 100}, std::pair{"99999999999", 1000000},
                                      std::pair{"5000000", 1000000}, std::pair{"-3", 100}}) {
        Platform::OpenProfile()->setValue(QStringLiteral("Display/HistoryLines"),
                                          QString::fromLatin1(text));
        EXPECT_EQ(HistorySetting::Load(), lines) << text;
    }
    Platform::OpenProfile()->remove(QStringLiteral("Display/HistoryLines"));
}

} // namespace
