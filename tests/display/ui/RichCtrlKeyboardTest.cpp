// The display's keyboard, observed through a real session: a UDP server
// session with echo on sends nothing but puts every sent byte in its ring.
#include "display/ui/DisplayTestSupport.h"
#include "display/ui/RichCtrl.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class RichCtrlKeys : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_doc.EditInfo()->m_nPortId = PortIdUdpServer;
        m_doc.EditInfo()->m_nConnectionType = ConnUdpServer;
        m_doc.EditInfo()->m_nOptions |= kOptionEcho;
        m_display.SetSession(&m_doc);
        m_display.UpdateColors();
        m_display.show();
    }

    std::string Sent()
    {
        DrainEvents();
        return m_doc.RingContents().toStdString();
    }

    void SetDisplayText(const QByteArray& bytes)
    {
        m_display.AppendData(bytes);
        m_display.FlushDisplay();
    }

    CSessionContext m_context;
    CTrelliumDoc m_doc{m_context};
    CRichCtrl m_display;
};

struct TypedCase
{
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    std::string sent;
};

class RichCtrlTyping : public RichCtrlKeys, public ::testing::WithParamInterface<TypedCase>
{
};

TEST_P(RichCtrlTyping, SendsWhatTheKeyTypesAndNeverEditsTheText)
{
    SetDisplayText("abc\r\n");
    const QString before = m_display.Text();
    const TypedCase& c = GetParam();
    QTest::keyClick(&m_display, c.key, c.modifiers);
    EXPECT_EQ(Sent(), c.sent);
    EXPECT_EQ(m_display.Text(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, RichCtrlTyping,
    ::testing::Values(TypedCase{"Letter", Qt::Key_Q, Qt::NoModifier, "q"},
                      TypedCase{"Return", Qt::Key_Return, Qt::NoModifier, "\r"},
                      TypedCase{"Backspace", Qt::Key_Backspace, Qt::NoModifier, "\b"},
                      TypedCase{"Escape", Qt::Key_Escape, Qt::NoModifier, "\x1b"},
                      TypedCase{"Tab", Qt::Key_Tab, Qt::NoModifier, "\t"},
                      TypedCase{"DeleteTypesNothing", Qt::Key_Delete, Qt::NoModifier, ""},
                      TypedCase{"CtrlA", Qt::Key_A, Qt::ControlModifier, "\x01"},
                      TypedCase{"CtrlV", Qt::Key_V, Qt::ControlModifier, "\x16"},
                      TypedCase{"CtrlBracket", Qt::Key_BracketLeft, Qt::ControlModifier, "\x1b"},
                      TypedCase{"AltLetterIsSystemKey", Qt::Key_X, Qt::AltModifier, ""},
                      TypedCase{"HomeTypesNothing", Qt::Key_Home, Qt::NoModifier, ""},
                      TypedCase{"F5WithoutMacro", Qt::Key_F5, Qt::NoModifier, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RichCtrlKeys, RepeatCountSendsTheCharacterThatManyTimes)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"), true, 3);
    QApplication::sendEvent(&m_display, &press);
    EXPECT_EQ(Sent(), "aaa");
}

TEST_F(RichCtrlKeys, CharactersBeyondOneByteBecomeQuestionMarks)
{
    QKeyEvent latin(QEvent::KeyPress, Qt::Key_Eacute, Qt::NoModifier, QString(QChar(0xE9)));
    QApplication::sendEvent(&m_display, &latin);
    QKeyEvent euro(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(QChar(0x20AC)));
    QApplication::sendEvent(&m_display, &euro);
    EXPECT_EQ(Sent(), "\xe9?");
}

TEST_F(RichCtrlKeys, CtrlCCopiesTheSelectionAndSendsThree)
{
    SetDisplayText("hello");
    m_display.SelectAll();
    QApplication::clipboard()->clear();
    QTest::keyClick(&m_display, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("hello"));
    EXPECT_EQ(Sent(), "\x03");
}

struct CursorCase
{
    Qt::Key key;
    std::string sent;
};

class RichCtrlCursorKeys : public RichCtrlKeys, public ::testing::WithParamInterface<CursorCase>
{
};

TEST_P(RichCtrlCursorKeys, TextModeSendsSequenceAndCaretStays)
{
    m_doc.EditInfo()->m_nDisplayMode = 1;
    SetDisplayText("abc\rdef\rghi");
    const CTextPos middle{m_display.Lines().FirstSerial() + 1, 1};
    m_display.SetCaret(middle);
    QTest::keyClick(&m_display, GetParam().key);
    EXPECT_EQ(Sent(), GetParam().sent);
    EXPECT_EQ(m_display.Caret(), middle);
}

TEST_P(RichCtrlCursorKeys, OtherModesMoveCaretAndSendNothing)
{
    m_doc.EditInfo()->m_nDisplayMode = 2;
    SetDisplayText(QByteArray(60, 'x'));
    const CTextPos middle{m_display.Lines().FirstSerial() + 1, 40};
    m_display.SetCaret(middle);
    QTest::keyClick(&m_display, GetParam().key);
    EXPECT_EQ(Sent(), "");
    EXPECT_NE(m_display.Caret(), middle);
}

INSTANTIATE_TEST_SUITE_P(Keys, RichCtrlCursorKeys,
                         ::testing::Values(CursorCase{Qt::Key_Up, "\x1b[A"},
                                           CursorCase{Qt::Key_Down, "\x1b[B"},
                                           CursorCase{Qt::Key_Right, "\x1b[C"},
                                           CursorCase{Qt::Key_Left, "\x1b[D"}));

TEST_F(RichCtrlKeys, FunctionKeysPressMacrosWithShiftAndCtrl)
{
    m_doc.m_funcKeys.AddKey(4, 0, 0, 0, "p", "", "P5", 0, 0, 0, "");
    m_doc.m_funcKeys.AddKey(4, 1, 0, 0, "s", "", "S5", 0, 0, 0, "");
    m_doc.m_funcKeys.AddKey(4, 0, 1, 0, "c", "", "C5", 0, 0, 0, "");
    m_doc.m_funcKeys.AddKey(11, 1, 1, 0, "x", "", "X12", 0, 0, 0, "");
    QTest::keyClick(&m_display, Qt::Key_F5, Qt::ShiftModifier);
    QTest::keyClick(&m_display, Qt::Key_F5);
    QTest::keyClick(&m_display, Qt::Key_F5, Qt::ControlModifier);
    QTest::keyClick(&m_display, Qt::Key_F12, Qt::ShiftModifier | Qt::ControlModifier);
    // Alt+F5 belongs to the frame's key setup, never to a macro.
    QTest::keyClick(&m_display, Qt::Key_F5, Qt::AltModifier);
    EXPECT_EQ(Sent(), "S5P5C5X12");
}

TEST_F(RichCtrlKeys, ShiftAndCtrlChangesArePostedToThePane)
{
    QSignalSpy spy(&m_display, &CRichCtrl::ModifiersChanged);
    QTest::keyPress(&m_display, Qt::Key_Shift);
    EXPECT_EQ(spy.count(), 0);
    QApplication::processEvents();
    EXPECT_EQ(spy.count(), 1);
    QTest::keyRelease(&m_display, Qt::Key_Shift);
    QTest::keyClick(&m_display, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(&m_display, Qt::Key_A);
    QApplication::processEvents();
    EXPECT_EQ(spy.count(), 4);
}

} // namespace
