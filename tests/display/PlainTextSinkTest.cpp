// The companion's plain sink keeps the same lines as the display's coloured
// line buffer, whatever the renderer does to them (breaks, trims, Text-mode
// erasing, clears).
#include "display/PlainTextSink.h"
#include "display/DisplayRenderer.h"
#include "display/LineBuffer.h"
#include "display/TerminalBytes.h"

#include <gtest/gtest.h>
#include <random>

namespace {

TEST(PlainTextSink, HoldsTheLinesTheLineBufferHolds)
{
    std::mt19937 random(42);
    for (int mode = 0; mode < 3; ++mode) {
        CDisplayRenderer a(0);
        CDisplayRenderer b(0);
        CLineBuffer coloured;
        CPlainTextSink plain;
        CDisplaySettings settings;
        settings.m_nMode = mode;
        settings.m_nStampFormat = 1;
        uint32_t tick = 0;
        for (int chunk = 0; chunk < 400; ++chunk) {
            const std::string bytes = TerminalBytes(random, random() % 300);
            tick += static_cast<uint32_t>(random() % 1000);
            if (chunk % 97 == 50) {
                a.Clear(coloured);
                b.Clear(plain);
            }
            a.AppendData(bytes.data(), bytes.size(), tick, settings, coloured);
            b.AppendData(bytes.data(), bytes.size(), tick, settings, plain);
            ASSERT_EQ(plain.LineCount(), coloured.LineCount()) << "mode " << mode;
            ASSERT_EQ(plain.CharCount(), coloured.CharCount()) << "mode " << mode;
        }
        std::string joined;
        for (size_t i = 0; i < plain.Lines().size(); ++i)
            joined += (i ? "\n" : "") + plain.Lines()[i];
        EXPECT_EQ(joined, coloured.PlainText()) << "mode " << mode;
    }
}

} // namespace
