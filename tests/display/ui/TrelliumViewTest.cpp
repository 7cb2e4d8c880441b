// A session's view: received bytes from the session's ring to its display
// and to the merge display, gaps, rebuilds and the merge registration.
#include "controls/TrelliumView.h"
#include "base/TrelliumIds.h"
#include "display/ui/DisplayTestSupport.h"
#include "display/ui/RichCtrl.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QApplication>
#include <gtest/gtest.h>

namespace {

void MakeMerge(CTrelliumDoc& doc)
{
    doc.EditInfo()->m_nPortId = PortIdMerge;
    doc.EditInfo()->m_nConnectionType = ConnMerge;
}

void SetColors(CTrelliumDoc& doc, uint32_t text, uint32_t special)
{
    doc.EditInfo()->m_colors[ColorText] = text;
    doc.EditInfo()->m_colors[ColorSpecial] = special;
}

// Runs the session's delivery, then draws at once (drawing in a burst waits
// for the display's interval).
void Deliver(const CTrelliumView& view)
{
    DrainEvents();
    view.GetDisplay()->FlushDisplay();
}

std::string Shown(const CTrelliumView& view)
{
    Deliver(view);
    return DisplayText(*view.GetDisplay());
}

TEST(TrelliumView, ReceivedBytesReachTheDisplay)
{
    CSessionContext context;
    CTrelliumDoc doc(context);
    CTrelliumView view(&doc);
    doc.ReceiveData("abc", 3);
    doc.ReceiveData("\x01", 1);
    EXPECT_EQ(Shown(view), "abc[SOH]");
}

// While every frame brings more than a screenful the display draws less
// often, and the view asks for its bytes as seldom; a trickle brings back
// the session's frame.
TEST(TrelliumView, AsksForLongerFramesWhileAFloodSweepsThroughTheDisplay)
{
    CSessionContext context;
    CTrelliumDoc doc(context);
    CTrelliumView view(&doc);
    view.resize(600, 400);
    view.show();
    doc.ReceiveData("first\r\n", 7);
    Deliver(view);
    EXPECT_EQ(view.FrameMs(30), 30);
    const QByteArray screenfuls = QByteArray("line\r\n").repeated(300);
    doc.ReceiveData(screenfuls.constData(), static_cast<int>(screenfuls.size()));
    Deliver(view);
    EXPECT_EQ(view.FrameMs(30), CRichCtrl::kSweepIntervalMs);
    doc.ReceiveData("last", 4);
    Deliver(view);
    EXPECT_EQ(view.FrameMs(30), 30);
}

// More than a ring's worth at once is shown whole; datagrams the system
// dropped show as a marker in the special colour.
TEST(TrelliumView, AFloodIsShownWholeAndDroppedDatagramsAreMarked)
{
    CSessionContext context;
    CTrelliumDoc doc(context);
    SetColors(doc, 0x00FF00, 0x00FFFF);
    CTrelliumView view(&doc);
    doc.EditInfo()->m_nDisplayMode = 1;
    QByteArray flood;
    for (int i = 0; i < 6000; ++i)
        flood += static_cast<char>('a' + i % 26);
    doc.ReceiveData(flood.constData(), static_cast<int>(flood.size()));
    Deliver(view);
    const CLineBuffer& lines = view.GetDisplay()->Lines();
    std::string joined;
    for (int i = 0; i < lines.LineCount(); ++i)
        joined += lines.Line(i).Text();
    EXPECT_EQ(joined, flood.toStdString());

    doc.OnDatagramsDropped(5);
    Deliver(view);
    const std::string marker = "[... 5 datagrams lost ...]";
    joined.clear();
    for (int i = 0; i < lines.LineCount(); ++i)
        joined += lines.Line(i).Text();
    EXPECT_EQ(joined, flood.toStdString() + marker);
    const int last = lines.LineCount() - 1;
    EXPECT_EQ(lines.Spans(last).back().m_format, RunFormat::Special);
    EXPECT_EQ(DrawnLines(*view.GetDisplay()), BufferLines(lines));
}

TEST(TrelliumView, RebuildRendersTheWholeRingAsOneChunk)
{
    CSessionContext context;
    CTrelliumDoc doc(context);
    CTrelliumView view(&doc);
    doc.ReceiveData("A\r\nB", 4);
    EXPECT_EQ(Shown(view), "A[CR][LF]B");
    view.ClearDisplay();
    EXPECT_EQ(Shown(view), "");
    doc.EditInfo()->m_nDisplayMode = 1;
    view.OnUpdate(Ids::HintRebuildDisplay);
    EXPECT_EQ(Shown(view), "A\nB");
}

TEST(TrelliumView, MergeSessionRegistersAndReceivesInSourceColours)
{
    CSessionContext context;
    CTrelliumDoc mergeDoc(context);
    MakeMerge(mergeDoc);
    mergeDoc.EditInfo()->m_nDisplayMode = 2;
    CTrelliumDoc sourceDoc(context);
    SetColors(sourceDoc, 0x0000FF, 0xFF0000);
    {
        CTrelliumView mergeView(&mergeDoc);
        EXPECT_EQ(context.Merge().Get(), &mergeView.GetDisplay()->Model());
        CTrelliumView sourceView(&sourceDoc);
        sourceDoc.ReceiveData("A", 1);
        Deliver(sourceView);
        Deliver(mergeView);
        EXPECT_EQ(DrawnLines(*sourceView.GetDisplay()), (std::vector<std::string>{"{ff0000}A"}));
        EXPECT_EQ(DrawnLines(*mergeView.GetDisplay()),
                  (std::vector<std::string>{"{0000ff}A {ff0000}41 "}));

        // A rebuild goes to the session's own display only.
        sourceView.OnUpdate(Ids::HintRebuildDisplay);
        Deliver(mergeView);
        EXPECT_EQ(DisplayText(*mergeView.GetDisplay()), "A 41 ");
    }
    EXPECT_EQ(context.Merge().Get(), nullptr);
}

TEST(TrelliumView, SwitchingToMergeRegistersOnConnectionTypeHint)
{
    CSessionContext context;
    CTrelliumDoc doc(context);
    CTrelliumView view(&doc);
    EXPECT_NE(context.Merge().Get(), &view.GetDisplay()->Model());
    MakeMerge(doc);
    view.OnUpdate(Ids::HintConnectionType);
    EXPECT_EQ(context.Merge().Get(), &view.GetDisplay()->Model());
    // The merge display does not copy into itself.
    view.OnNewBytes("x", 0, 0);
    EXPECT_EQ(Shown(view), "x");
}

} // namespace
