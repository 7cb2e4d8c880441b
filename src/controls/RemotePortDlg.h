#pragma once
#include <QDialog>
#include <QString>
#include <set>

class QLabel;
class QLineEdit;
class QSpinBox;

// "Add Remote Port": maps a COM number to a serial port served on another
// machine (rfc2217://HOST:PORT). The dialog checks what it is given; the
// caller writes the mapping.
class CRemotePortDlg : public QDialog
{
    Q_OBJECT
public:
    // `taken` holds the COM numbers in use; `suggested` is offered first.
    CRemotePortDlg(std::set<int> taken, int suggested, QWidget* parent = nullptr);

    int ComNumber() const;
    // "rfc2217://HOST:PORT", valid once accepted.
    QString Address() const;

    QLineEdit* HostEdit() const { return m_pHost; }
    QSpinBox* PortBox() const { return m_pPort; }
    QSpinBox* NumberBox() const { return m_pNumber; }

    void accept() override;

private:
    void ShowAddress();

    std::set<int> m_taken;
    QLineEdit* m_pHost;
    QSpinBox* m_pPort;
    QSpinBox* m_pNumber;
    QLabel* m_pAddress;
};
