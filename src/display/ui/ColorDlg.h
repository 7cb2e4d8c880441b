#pragma once
#include "base/CommInfo.h"

#include <QDialog>
#include <array>
#include <cstdint>

class QPushButton;

// "Colors": four buttons that each open a colour picker on one of the
// session's colours (background, text, special, time stamps). A colour
// picked is stored in the session's array at once, so it stays there even
// when the dialog ends with Cancel; OK and Cancel only close the dialog.
class CColorDlg : public QDialog
{
    Q_OBJECT
public:
    using Colors = std::array<uint32_t, ColorWordCount>;

    // `colors` is the session's colour array (0x00BBGGRR words); not owned,
    // must outlive the dialog.
    explicit CColorDlg(Colors* colors, QWidget* parent = nullptr);

    QPushButton* ColorButton(int index) const { return m_buttons[static_cast<size_t>(index)]; }

private:
    void PickColor(int index);
    void ShowSwatch(int index);

    Colors* m_pColors;
    std::array<QPushButton*, 4> m_buttons{};
};
