#include "controls/TrelliumView.h"

#include "display/MergeDisplay.h"
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
    if (m_pDoc->m_info.m_nConnectionType == ConnMerge)
        MergeDisplay::Register(m_pDisplay);
}

void CTrelliumView::RebuildDisplay()
{
    m_pDisplay->Clear();
    // The whole ring as one chunk, and not into the merge display.
    m_pDisplay->AppendData(m_pDoc->RingContents());
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
    if (lostBytes > 0)
        m_pDisplay->AppendGap(lostBytes);
    m_pDisplay->AppendData(bytes);
    auto* merge = dynamic_cast<CRichCtrl*>(MergeDisplay::Get());
    if (merge && merge != m_pDisplay) {
        if (lostBytes > 0)
            merge->AppendGap(lostBytes, m_pDisplay);
        merge->AppendData(bytes, m_pDisplay);
    }
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
