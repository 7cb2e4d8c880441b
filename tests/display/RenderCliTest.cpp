// trellium-cli render, run as the real executable (TRELLIUM_CLI).
#include "display/DisplayRenderer.h"
#include "display/LineBuffer.h"
#include "display/RunsText.h"

#include "CliRunner.h"
#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

struct RenderResult
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

class RenderCli : public CliTest
{
protected:
    RenderResult Run(const QStringList& options, const std::string& input)
    {
        const CliResult result = RunCli(QStringList{QStringLiteral("render")} + options,
                                        QByteArray::fromStdString(input));
        return {result.exitCode, result.out.toStdString(), result.err.toStdString()};
    }
};

std::string HexOf(const std::string& bytes)
{
    std::string hex;
    char pair[4];
    for (char c : bytes) {
        std::snprintf(pair, sizeof pair, " %02X", static_cast<unsigned>(static_cast<uint8_t>(c)));
        hex += pair;
    }
    return hex;
}

TEST_F(RenderCli, PrintsLinesAsTheDisplayBreaksThem)
{
    const RenderResult result = Run({}, "0" + HexOf(std::string(200, 'x')) + "\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, std::string(81, 'x') + "\n" + std::string(81, 'x') + "\n" +
                              std::string(38, 'x') + "\n");
}

// Trimmed at 100 lines unless --lines says more; the next chunk trims.
TEST_F(RenderCli, LinesKeepsMoreOnlyWhenAsked)
{
    std::string lines = "0";
    for (int i = 0; i < 149; ++i)
        lines += HexOf(std::to_string(i) + "\r");
    lines += "\n1\n";
    const QStringList text = {QStringLiteral("--mode"), QStringLiteral("text")};
    const RenderResult kept100 = Run(text, lines);
    EXPECT_EQ(kept100.exitCode, 0);
    EXPECT_EQ(std::count(kept100.out.begin(), kept100.out.end(), '\n'), 100);
    EXPECT_EQ(kept100.out.substr(0, 3), "50\n");
    const RenderResult kept120 =
        Run(text + QStringList{QStringLiteral("--lines"), QStringLiteral("120")}, lines);
    EXPECT_EQ(kept120.exitCode, 0);
    EXPECT_EQ(std::count(kept120.out.begin(), kept120.out.end(), '\n'), 120);
    EXPECT_EQ(kept120.out.substr(0, 3), "30\n");
    for (const char* bad : {"99", "1000001", "many"}) {
        const RenderResult refused =
            Run({QStringLiteral("--lines"), QString::fromLatin1(bad)}, lines);
        EXPECT_EQ(refused.exitCode, 2) << bad;
        EXPECT_NE(refused.err.find("--lines"), std::string::npos) << refused.err;
    }
}

TEST_F(RenderCli, RunsAndEmptyLastLine)
{
    const RenderResult result =
        Run({QStringLiteral("--mode"), QStringLiteral("text"), QStringLiteral("--runs")},
            "0 78797A0D 61 62 63 1B5B4A\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "<t>xyz</t>\n\n");
}

TEST_F(RenderCli, EmptyInputIsOneEmptyLine)
{
    const RenderResult result = Run({}, "");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "\n");
}

TEST_F(RenderCli, StampsFollowTheTicks)
{
    const RenderResult result =
        Run({QStringLiteral("--stamps"), QStringLiteral("4"), QStringLiteral("--min-interval"),
             QStringLiteral("500"), QStringLiteral("--runs")},
            "60000 41\n60500 42\n\n61001\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "<p><1m 0s></p><t>A</t><t>B</t><p><0s></p>\n");
}

TEST_F(RenderCli, MalformedLinePrintsDisplaySoFarAndFails)
{
    const RenderResult result = Run({}, "0 41\n5 4G\n9 42\n");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "A\n");
    EXPECT_NE(result.err.find("line 2"), std::string::npos) << result.err;
}

struct BadInput
{
    const char* name;
    std::vector<const char*> options;
    std::string input;
};

class RenderCliRefuses : public RenderCli, public ::testing::WithParamInterface<BadInput>
{
};

TEST_P(RenderCliRefuses, WithStatusTwoAndOneErrorLine)
{
    QStringList options;
    for (const char* option : GetParam().options)
        options << QString::fromLatin1(option);
    const RenderResult result = Run(options, GetParam().input);
    EXPECT_EQ(result.exitCode, 2);
    ASSERT_FALSE(result.err.empty());
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RenderCliRefuses,
    ::testing::Values(BadInput{"UnknownMode", {"--mode", "ascii"}, "0 41\n"},
                      BadInput{"StampFormatOutOfRange", {"--stamps", "7"}, "0 41\n"},
                      BadInput{"IntervalNotANumber", {"--min-interval", "5x"}, "0 41\n"},
                      BadInput{"MissingValue", {"--mode"}, "0 41\n"},
                      BadInput{"UnknownOption", {"--colour"}, "0 41\n"},
                      BadInput{"OddHexDigits", {}, "0 414\n"}, BadInput{"NoTick", {}, "41 4G\n"},
                      BadInput{"TickTooLarge", {}, "4294967296 41\n"},
                      BadInput{"NegativeTick", {}, "-1 41\n"}),
    [](const auto& info) { return std::string(info.param.name); });

class RenderCliMatchesRenderer : public RenderCli, public ::testing::WithParamInterface<int>
{
};

// Random chunks with stamps: the companion prints what the renderer holds.
TEST_P(RenderCliMatchesRenderer, ForEveryMode)
{
    const int mode = GetParam();
    std::mt19937 random(99u + static_cast<unsigned>(mode));
    CDisplayRenderer renderer(0);
    CLineBuffer buffer;
    CDisplaySettings settings;
    settings.m_nMode = mode;
    settings.m_nStampFormat = 1;
    settings.m_nMinInterval = 20;
    std::string input;
    uint32_t tick = 0;
    for (int chunk = 0; chunk < 60; ++chunk) {
        std::string bytes(random() % 120, '\0');
        for (char& c : bytes)
            c = random() % 4 == 0 ? "\x1b[J\b\r\n"[random() % 6]
                                  : static_cast<char>(random() % 256);
        tick += random() % 40;
        renderer.AppendData(bytes.data(), bytes.size(), tick, settings, buffer);
        input += std::to_string(tick) + HexOf(bytes) + "\n";
    }
    static const char* const kModes[] = {"mont", "text", "hex"};
    const RenderResult result =
        Run({QStringLiteral("--mode"), QString::fromLatin1(kModes[mode]),
             QStringLiteral("--stamps"), QStringLiteral("1"), QStringLiteral("--min-interval"),
             QStringLiteral("20"), QStringLiteral("--runs")},
            input);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, RunsText(buffer) + "\n");
}

INSTANTIATE_TEST_SUITE_P(Modes, RenderCliMatchesRenderer, ::testing::Values(0, 1, 2));

} // namespace
