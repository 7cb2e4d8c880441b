#include "base/CommInfo.h"
#include "display/ui/ColorDlg.h"
#include "display/ui/TimingDlg.h"

#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace {

// Runs `act` on the colour picker once it is up (it runs modally).
void WhenPickerOpens(std::function<void(QColorDialog*)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* picker = qobject_cast<QColorDialog*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(picker);
        }
    });
    timer->start();
}

TEST(ColorDlg, PickerStartsOnCurrentColourAndStoresAtOnce)
{
    CColorDlg::Colors colors{};
    colors[ColorText] = 0x0000FF00;
    CColorDlg dialog(&colors);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Colors"));
    EXPECT_EQ(dialog.ColorButton(3)->text(), QStringLiteral("Time stamps"));
    dialog.show();

    QColor initial;
    WhenPickerOpens([&](QColorDialog* picker) {
        initial = picker->currentColor();
        picker->setCurrentColor(QColor(0x10, 0x20, 0x30));
        picker->accept();
    });
    const auto swatchCentre = [&] {
        const QIcon icon = dialog.ColorButton(ColorText)->icon();
        const QImage image = icon.pixmap(dialog.ColorButton(ColorText)->iconSize()).toImage();
        return image.pixelColor(image.width() / 2, image.height() / 2);
    };
    EXPECT_EQ(swatchCentre(), QColor(0, 0xFF, 0)); // the button shows its colour
    dialog.ColorButton(ColorText)->click();
    EXPECT_EQ(initial, QColor(0, 0xFF, 0));
    EXPECT_EQ(colors[ColorText], 0x00302010u);
    EXPECT_EQ(swatchCentre(), QColor(0x10, 0x20, 0x30));

    // Cancel closes the dialog but keeps what was picked.
    dialog.findChild<QPushButton*>(QStringLiteral("cancel"))->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(colors[ColorText], 0x00302010u);
}

TEST(ColorDlg, CancelledPickerChangesNothing)
{
    CColorDlg::Colors colors{};
    colors[ColorSpecial] = 0x00ABCDEF;
    CColorDlg dialog(&colors);
    dialog.show();
    WhenPickerOpens([](QColorDialog* picker) {
        picker->setCurrentColor(Qt::red);
        picker->reject();
    });
    dialog.ColorButton(ColorSpecial)->click();
    EXPECT_EQ(colors[ColorSpecial], 0x00ABCDEFu);
}

class TimingDlgTest : public ::testing::Test
{
protected:
    void Ok(CTimingDlg& dialog)
    {
        dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    }
    CTimingInfo m_timing;
};

TEST_F(TimingDlgTest, OpensOnTheRecord)
{
    CTimingDlg dialog(&m_timing);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Timing"));
    EXPECT_EQ(dialog.FormatBox()->count(), 7);
    EXPECT_EQ(dialog.FormatBox()->currentText(), QStringLiteral("Off"));
    EXPECT_EQ(dialog.FormatBox()->itemText(5), QStringLiteral("Clock date and time"));
    EXPECT_EQ(dialog.IntervalEdit()->text(), QStringLiteral("500"));
    EXPECT_TRUE(dialog.NegativeNote()->isHidden());
}

TEST_F(TimingDlgTest, OkStoresBothCancelNothing)
{
    {
        CTimingDlg dialog(&m_timing);
        dialog.FormatBox()->setCurrentIndex(4);
        dialog.IntervalEdit()->setText(QStringLiteral("250ms"));
        dialog.reject();
    }
    EXPECT_EQ(m_timing.m_nFormat, 0);
    EXPECT_EQ(m_timing.m_nMinInterval, 500);
    CTimingDlg dialog(&m_timing);
    dialog.FormatBox()->setCurrentIndex(4);
    dialog.IntervalEdit()->setText(QStringLiteral("250ms"));
    Ok(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(m_timing.m_nFormat, 4);
    EXPECT_EQ(m_timing.m_nMinInterval, 250);
}

TEST_F(TimingDlgTest, NegativeIntervalIsKeptAndExplained)
{
    CTimingDlg dialog(&m_timing);
    dialog.IntervalEdit()->setText(QStringLiteral("-1"));
    EXPECT_FALSE(dialog.NegativeNote()->isHidden());
    dialog.IntervalEdit()->setText(QStringLiteral("10"));
    EXPECT_TRUE(dialog.NegativeNote()->isHidden());
    dialog.IntervalEdit()->setText(QStringLiteral(" -7x"));
    Ok(dialog);
    EXPECT_EQ(m_timing.m_nMinInterval, -7);
    CTimingDlg again(&m_timing);
    EXPECT_EQ(again.IntervalEdit()->text(), QStringLiteral("-7"));
    EXPECT_FALSE(again.NegativeNote()->isHidden());
}

TEST_F(TimingDlgTest, UnknownStoredFormatStaysUnlessOneIsPicked)
{
    m_timing.m_nFormat = 9;
    CTimingDlg dialog(&m_timing);
    EXPECT_EQ(dialog.FormatBox()->currentIndex(), -1);
    Ok(dialog);
    EXPECT_EQ(m_timing.m_nFormat, 9);
}

struct DecimalCase
{
    const char* text;
    int32_t value;
};

class TimingDecimal : public ::testing::TestWithParam<DecimalCase>
{
};

TEST_P(TimingDecimal, ReadsLikeTheStandardConversion)
{
    CTimingInfo timing;
    CTimingDlg dialog(&timing);
    dialog.IntervalEdit()->setText(QString::fromLatin1(GetParam().text));
    dialog.accept();
    EXPECT_EQ(timing.m_nMinInterval, GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Texts, TimingDecimal,
                         ::testing::Values(DecimalCase{"250", 250}, DecimalCase{"250abc", 250},
                                           DecimalCase{"abc", 0}, DecimalCase{"-1", -1},
                                           DecimalCase{" \t 12", 12}, DecimalCase{"- 5", 0},
                                           DecimalCase{"99999999999", 2147483647},
                                           DecimalCase{"-99999999999", -2147483647 - 1}));

} // namespace
