#include "controls/TrelliumView.h"

#include "display/ui/RichCtrl.h"
#include "session/TrelliumDoc.h"
#include "session/TrelliumIds.h"

#include <QVBoxLayout>

CTrelliumView::CTrelliumView(CTrelliumDoc* doc, QWidget* parent)
    : QWidget(parent), m_pDoc(doc), m_pDisplay(new CRichCtrl(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pDisplay);
    m_pDisplay->SetSession(m_pDoc);
    m_pDisplay->UpdateColors();
    setFocusProxy(m_pDisplay);
    connect(m_pDisplay, &CRichCtrl::ModifiersChanged, this,
            [this] { OnCommand(Ids::CmdModifiersChanged); });
    RegisterMergeDisplay();
    m_pDoc->SetView(this);
}

CTrelliumView::~CTrelliumView()
{
    if (m_pDoc && m_pDoc->GetView() == this)
        m_pDoc->SetView(nullptr);
}

void CTrelliumView::RegisterMergeDisplay()
{
    m_pDisplay->Model().RegisterMergeIfMerge();
}

void CTrelliumView::RebuildDisplay()
{
    m_pDisplay->Model().Rebuild();
}

void CTrelliumView::OnUpdate(int hint)
{
    if (hint == Ids::HintRebuildDisplay)
        RebuildDisplay();
    else if (hint == Ids::HintConnectionType)
        RegisterMergeDisplay();
}

void CTrelliumView::OnNewBytes(const QByteArray& bytes, uint64_t lostBytes)
{
    m_pDisplay->Model().ShowNewBytes(bytes, lostBytes);
}

void CTrelliumView::OnCommand(int id)
{
    if (id == Ids::CmdRefreshTitle)
        m_pDoc->UpdateTitle();
}

void CTrelliumView::ClearDisplay()
{
    m_pDisplay->Clear();
}
