#pragma once
#include <QDialog>
#include <QString>
#include <cstdint>

class QComboBox;
class QLabel;
class QLineEdit;
struct CTimingInfo;

// "Timing": the session's time-stamp format and the minimum interval between
// stamps. OK stores the interval as the standard decimal conversion reads the
// text (0 without digits, trailing letters ignored, no range check) and the
// selected format; Cancel changes nothing. A negative interval is kept, since
// an unsigned comparison makes it mean "never stamp"; the dialog says so
// while one is typed.
class CTimingDlg : public QDialog
{
    Q_OBJECT
public:
    // `timing` is the session's record; not owned, must outlive the dialog.
    explicit CTimingDlg(CTimingInfo* timing, QWidget* parent = nullptr);

    // Optional leading white space and sign, then digits; 0 when there are
    // none; saturates at the 32-bit limits.
    static int32_t DecimalValue(const QString& text);

    QComboBox* FormatBox() const { return m_pFormat; }
    QLineEdit* IntervalEdit() const { return m_pInterval; }
    QLabel* NegativeNote() const { return m_pNegativeNote; }

    void accept() override;

private:
    void ShowNegativeNote();

    CTimingInfo* m_pTiming;
    QComboBox* m_pFormat;
    QLineEdit* m_pInterval;
    QLabel* m_pNegativeNote;
};
