#include <gtest/gtest.h>

#include <string>

#include "common/LastError.h"
#include "common/Trace.h"
#include "support/TraceCapture.h"

TEST(Trace, GoesToTheAttachedSinkOnly)
{
    Trace(false, "before %d\r\n", 1);   // no sink: nothing happens
    CTraceCapture capture;
    Trace(false, "COSUtil::Init++\r\n");
    Trace(true, "value %d", 42);
    auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "COSUtil::Init++\r\n");
    EXPECT_EQ(lines[1], "value 42");
}

TEST(Trace, CutsLinesAt255Characters)
{
    CTraceCapture capture;
    std::string strLong(400, 'x');
    Trace(false, "%s", strLong.c_str());
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0].size(), 255u);
}

TEST(LastError, TextIsPerThreadAndEmptyForUnknownCodes)
{
    SetLastErrorCode(2);   // no such file or directory
    std::string strText = GetLastErrorText();
    EXPECT_FALSE(strText.empty());
    SetLastErrorCode(987654);
    EXPECT_STREQ(GetLastErrorText(), "");
}
