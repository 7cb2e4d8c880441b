#pragma once
#include "session/SessionView.h"

#include <QWidget>

class CTrelliumDoc;
class CRichCtrl;

// The one view of a session's child frame: the session's terminal display
// (the settings strip above it comes later). It shows what the session hands
// it, copies the same into the merge display in this display's colours, and
// registers its display as the merge display for a merge session.
class CTrelliumView : public QWidget, public CSessionView
{
    Q_OBJECT
public:
    explicit CTrelliumView(CTrelliumDoc* doc, QWidget* parent = nullptr);
    ~CTrelliumView() override;

    CTrelliumDoc* GetDocument() const { return m_pDoc; }
    CRichCtrl* GetDisplay() const { return m_pDisplay; }

    void OnUpdate(int hint) override;
    void OnNewBytes(const QByteArray& bytes, uint64_t lostBytes) override;
    void OnCommand(int id) override;
    void ClearDisplay() override;

private:
    void RegisterMergeDisplay();
    void RebuildDisplay();

    CTrelliumDoc* m_pDoc;
    CRichCtrl* m_pDisplay; // child widget
};
