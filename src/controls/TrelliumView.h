#pragma once
#include "session/SessionView.h"

#include <QWidget>

class CTrelliumDoc;

// The one view of a session's child frame.
class CTrelliumView : public QWidget, public CSessionView
{
    Q_OBJECT
public:
    explicit CTrelliumView(CTrelliumDoc* doc, QWidget* parent = nullptr);
    ~CTrelliumView() override;

    CTrelliumDoc* GetDocument() const { return m_pDoc; }

    void OnUpdate(int hint) override;
    void OnNewBytes(const QByteArray& bytes, uint64_t lostBytes) override;
    void OnCommand(int id) override;
    void ClearDisplay() override;

private:
    CTrelliumDoc* m_pDoc;
};
