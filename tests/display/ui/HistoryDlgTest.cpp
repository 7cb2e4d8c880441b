// The History dialog: the choices, and the memory shown beside the one chosen.
#include "display/ui/HistoryDlg.h"
#include "display/LineBuffer.h"

#include <QComboBox>
#include <QLabel>
#include <gtest/gtest.h>

namespace {

TEST(HistoryDlg, ShowsTheMemoryOfTheChoiceAndGivesItsLines)
{
    CHistoryDlg dialog(1000);
    EXPECT_EQ(dialog.Lines(), 1000);
    EXPECT_EQ(dialog.MemoryLabel()->text(), CHistoryDlg::MemoryText(1000));
    EXPECT_EQ(CHistoryDlg::MemoryText(100), QStringLiteral("under 1 MB for each session"));

    dialog.LinesBox()->setCurrentIndex(dialog.LinesBox()->count() - 1);
    EXPECT_EQ(dialog.Lines(), 1000000);
    const QString million = CHistoryDlg::MemoryText(1000000);
    EXPECT_EQ(dialog.MemoryLabel()->text(), million);
    EXPECT_TRUE(million.contains(QString::number(CLineBuffer::MemoryFor(1000000) / 1000000)))
        << million.toStdString();

    // A number set in the profile by hand shows as the next choice up.
    EXPECT_EQ(CHistoryDlg(5000).Lines(), 10000);
    EXPECT_EQ(CHistoryDlg(2000000).Lines(), 1000000);
}

} // namespace
