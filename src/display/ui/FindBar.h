#pragma once
#include "display/LineFinder.h"

#include <QPointer>
#include <QToolBar>
#include <optional>

class CRichCtrl;
class QCheckBox;
class QLabel;
class QLineEdit;

// Find in the active session's display: a text (with or without case) or,
// for a Hex display, byte values ("0D 0A"; the option is greyed for a
// display in another mode, and a ticked one then finds the text as
// typed, until the display shows Hex again); Next and Previous wrap at the
// ends; every match in the lines shown is marked and the count of matches
// shown. It keeps up as data arrives: new lines are searched as the display
// takes them, and matches in lines trimmed away go. Typing into it never
// reaches the port. User-interface thread only.
class CFindBar : public QToolBar
{
    Q_OBJECT
public:
    explicit CFindBar(QWidget* parent = nullptr);
    ~CFindBar() override;

    // The display searched (none: null); not owned, forgotten when it goes.
    void SetDisplay(CRichCtrl* display);
    CRichCtrl* Display() const { return m_pDisplay; }
    // Shows the bar with its text selected and focused.
    void Open();
    void Close();
    void FindNext();
    void FindPrevious();

    const CLineFinder& Finder() const { return m_finder; }
    QLineEdit* TextEdit() const { return m_pText; }
    QCheckBox* CaseBox() const { return m_pCase; }
    QCheckBox* BytesBox() const { return m_pBytes; }
    QLabel* CountLabel() const { return m_pCount; }

private:
    // Greys the byte-values option unless the display shows Hex; searches
    // afresh when that changes what is searched.
    void FollowMode();
    void SetQuery();
    void QueryChanged();
    void Refresh();
    void Step(bool forward);
    void Show(std::optional<size_t> index);
    void ShowCount();

    QLineEdit* m_pText;
    QCheckBox* m_pCase;
    QCheckBox* m_pBytes;
    QLabel* m_pCount;
    QPointer<CRichCtrl> m_pDisplay;
    QMetaObject::Connection m_synced;
    CLineFinder m_finder;
    std::string m_problem;             // why the byte values cannot be read
    std::optional<CLinePlace> m_shown; // where the match shown last begins
    bool m_bHexDisplay = false;        // the display searched shows Hex
};
