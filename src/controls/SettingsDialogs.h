#pragma once
#include <QDialog>

class QCheckBox;
class QLineEdit;
class CCommInfo;

// "Custom Baud": the rate as a number; OK takes the text's leading decimal
// number. Text that is not a positive number is refused with a message and
// the dialog stays open.
class CCustomBaud : public QDialog
{
    Q_OBJECT
public:
    explicit CCustomBaud(int baud, QWidget* parent = nullptr);
    int Baud() const { return m_nBaud; }
    QLineEdit* Edit() const { return m_pEdit; }

    void accept() override;

private:
    int m_nBaud;
    QLineEdit* m_pEdit;
};

// "Echo Setting": the echo flag of a session's settings record (not owned).
class CCommSettingsDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CCommSettingsDlg(CCommInfo* info, QWidget* parent = nullptr);
    bool IsChanged() const { return m_bChanged; }
    QCheckBox* EchoBox() const { return m_pEcho; }

    void accept() override;

private:
    CCommInfo* m_pInfo;
    bool m_bChanged = false;
    QCheckBox* m_pEcho;
};
