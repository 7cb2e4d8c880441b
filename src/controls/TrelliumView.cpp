#include "controls/TrelliumView.h"

#include "session/TrelliumDoc.h"
#include "session/TrelliumIds.h"

CTrelliumView::CTrelliumView(CTrelliumDoc* doc, QWidget* parent) : QWidget(parent), m_pDoc(doc)
{
    m_pDoc->SetView(this);
}

CTrelliumView::~CTrelliumView()
{
    if (m_pDoc && m_pDoc->GetView() == this)
        m_pDoc->SetView(nullptr);
}

void CTrelliumView::OnUpdate(int) {}

void CTrelliumView::OnNewBytes(const QByteArray&, uint64_t) {}

void CTrelliumView::OnCommand(int id)
{
    if (id == Ids::CmdRefreshTitle)
        m_pDoc->UpdateTitle();
}

void CTrelliumView::ClearDisplay() {}
