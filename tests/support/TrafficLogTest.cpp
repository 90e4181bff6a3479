// The traffic log: the exact line other tools read, frames in the order they
// crossed the line whichever thread told them first, the join gap, and long
// frames cut into lines under one time.

#include "support/TrafficLog.h"

#include "platform/StampClock.h"
#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using support::TrafficDirection;
using support::TrafficLog;
constexpr std::int64_t kMs = 1'000'000;

std::string Clock(std::int64_t ns)
{
    const platform::LocalTime t = platform::LocalTimeAt(ns);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", t.hour, t.minute, t.second, t.millisecond);
    return text;
}

TEST(TrafficLog, ALineIsTimeDirectionHexAndPrintableText)
{
    const std::int64_t at = 7 * kMs;
    std::string line;
    const std::uint8_t bytes[] = {'A', 0x00, 0xFF, ' ', '~', 0x7F};
    TrafficLog::FormatLine(TrafficDirection::Received, at, bytes, sizeof bytes, line);
    EXPECT_EQ(line, Clock(at) + " RX 41 00 FF 20 7E 7F  A.. ~.");
    line.clear();
    TrafficLog::FormatLine(TrafficDirection::Sent, at, bytes, 1, line);
    EXPECT_EQ(line, Clock(at) + " TX 41  A");
}

TEST(TrafficLog, FramesAreWrittenInTheOrderTheyHappenedJoinedUnderTheGap)
{
    testfiles::TempDir dir{"kestrana-traffic"};
    const std::string path = dir.path() + "/traffic0101.log";
    const std::int64_t t0 = platform::MonotonicNs();
    {
        TrafficLog log(path, 5);
        auto record = [&](TrafficDirection d, std::int64_t ms, std::string bytes) {
            log.Record(d, t0 + ms * kMs, t0 + ms * kMs, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                       bytes.size());
        };
        // The reply's thread tells first; the request still comes first.
        std::thread reader([&] {
            record(TrafficDirection::Received, 2, "\x01");
            record(TrafficDirection::Received, 4, "\x02");   // within the gap, but a sent block came between
            record(TrafficDirection::Received, 20, "\x03");  // a frame of its own
            record(TrafficDirection::Received, 22, "\x04");  // within the gap: the same frame
        });
        reader.join();
        record(TrafficDirection::Sent, 1, "Q");
        record(TrafficDirection::Sent, 3, "R");  // between two received blocks: never joins them
        std::string big(TrafficLog::kMaxLineBytes + 2, 'z');
        record(TrafficDirection::Sent, 40, big);
        log.Drain();
        EXPECT_EQ(log.LostBytes(), 0u);
    }
    const std::vector<std::string> lines = testfiles::ReadLines(path);
    ASSERT_EQ(lines.size(), 7u) << testfiles::ReadFile(path);
    EXPECT_EQ(lines[0], Clock(t0 + 1 * kMs) + " TX 51  Q");
    EXPECT_EQ(lines[1], Clock(t0 + 2 * kMs) + " RX 01  .");
    EXPECT_EQ(lines[2], Clock(t0 + 3 * kMs) + " TX 52  R");
    EXPECT_EQ(lines[3], Clock(t0 + 4 * kMs) + " RX 02  .");
    EXPECT_EQ(lines[4], Clock(t0 + 20 * kMs) + " RX 03 04  ..");
    // A frame longer than a line goes on under the same time.
    EXPECT_EQ(lines[5].size(), Clock(0).size() + 3 + 4 * TrafficLog::kMaxLineBytes + 2);
    EXPECT_EQ(lines[6], Clock(t0 + 40 * kMs) + " TX 7A 7A  zz");
    EXPECT_NE(testfiles::ReadFile(path).find("\r\n"), std::string::npos);
}

}  // namespace
