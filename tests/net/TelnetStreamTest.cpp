// The telnet layer as bytes in, data and answers out.

#include "net/TelnetStream.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using net::TelnetStream;
using Bytes = std::vector<std::uint8_t>;
constexpr std::uint8_t IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;

struct Fed {
    Bytes data, replies;
    std::vector<Bytes> subnegotiations;  // option byte first
};

Fed Feed(TelnetStream& stream, const Bytes& in)
{
    Fed out;
    stream.SetSubnegotiationHandler([&](std::uint8_t option, const std::uint8_t* data, std::size_t length) {
        Bytes sb{option};
        sb.insert(sb.end(), data, data + length);
        out.subnegotiations.push_back(sb);
    });
    stream.Feed(in.data(), in.size(), out.data, out.replies);
    return out;
}

struct Row {
    const char* what;
    Bytes in, data, replies;
};

TEST(TelnetStreamTest, Table)
{
    const Row rows[] = {
        {"plain data", {'a', 0, 0x7F, 0x80}, {'a', 0, 0x7F, 0x80}, {}},
        {"IAC IAC is one 0xFF", {1, IAC, IAC, 2}, {1, IAC, 2}, {}},
        {"one-byte commands go", {'a', IAC, 241, IAC, 246, IAC, 249, 'b'}, {'a', 'b'}, {}},
        {"unknown command goes", {IAC, 17, 'x'}, {'x'}, {}},
        {"lone SE goes", {IAC, SE, 'x'}, {'x'}, {}},
        {"DO ECHO is taken", {IAC, DO, 1}, {}, {IAC, WILL, 1}},
        {"WILL ECHO is refused", {IAC, WILL, 1}, {}, {IAC, DONT, 1}},
        {"unknown WILL refused once", {IAC, WILL, 24, IAC, WILL, 24}, {}, {IAC, DONT, 24}},
        {"unknown DO refused once", {IAC, DO, 31, 'x', IAC, DO, 31}, {'x'}, {IAC, WONT, 31}},
        {"WONT for something off: silence", {IAC, WONT, 5, IAC, DONT, 5}, {}, {}},
        {"COM-PORT refused in telnet mode", {IAC, WILL, 44}, {}, {IAC, DONT, 44}},
        {"subnegotiation leaves no data", {'a', IAC, SB, 24, 1, IAC, SE, 'b'}, {'a', 'b'}, {}},
        {"subnegotiation cut by a command", {IAC, SB, 44, 1, IAC, WILL, 7, 'z'}, {'z'}, {IAC, DONT, 7}},
        {"CR NUL outside binary", {'\r', 0, 'x'}, {'\r', 'x'}, {}},
        {"truncated at the end", {'q', IAC, SB, 44}, {'q'}, {}},
    };
    for (const Row& row : rows) {
        TelnetStream stream;
        const Fed out = Feed(stream, row.in);
        EXPECT_EQ(out.data, row.data) << row.what;
        EXPECT_EQ(out.replies, row.replies) << row.what;
    }
}

TEST(TelnetStreamTest, SplitAnywhereGivesTheSameResult)
{
    const Bytes in{'a', IAC, IAC, IAC, DO, 1, IAC, SB, 44, 1, IAC, IAC, IAC, SE, '\r', 0, 'b', IAC, WILL, 9};
    TelnetStream whole(true);
    const Fed expected = Feed(whole, in);
    for (std::size_t cut = 0; cut <= in.size(); ++cut) {
        TelnetStream stream(true);
        Fed first = Feed(stream, Bytes(in.begin(), in.begin() + cut));
        Fed second = Feed(stream, Bytes(in.begin() + cut, in.end()));
        first.data.insert(first.data.end(), second.data.begin(), second.data.end());
        first.replies.insert(first.replies.end(), second.replies.begin(), second.replies.end());
        first.subnegotiations.insert(first.subnegotiations.end(), second.subnegotiations.begin(), second.subnegotiations.end());
        EXPECT_EQ(first.data, expected.data) << cut;
        EXPECT_EQ(first.replies, expected.replies) << cut;
        EXPECT_EQ(first.subnegotiations, expected.subnegotiations) << cut;
    }
    EXPECT_EQ(expected.subnegotiations, (std::vector<Bytes>{{44, 1, IAC}}));
}

TEST(TelnetStreamTest, GreetingAnswersAreNotAnswered)
{
    TelnetStream stream(true);
    EXPECT_EQ(stream.Greeting(), (Bytes{IAC, WILL, 0, IAC, DO, 0, IAC, WILL, 3}));
    // The client agrees to all three and asks for COM-PORT: only the last is owed an answer.
    const Fed out = Feed(stream, {IAC, DO, 0, IAC, WILL, 0, IAC, DO, 3, IAC, WILL, 44});
    EXPECT_EQ(out.replies, (Bytes{IAC, DO, 44}));
    EXPECT_TRUE(stream.WeDo(0));
    EXPECT_TRUE(stream.TheyDo(0));
    EXPECT_TRUE(stream.TheyDo(44));
    // Said again: no answer (agreed already).
    EXPECT_TRUE(Feed(stream, {IAC, WILL, 44, IAC, DO, 0}).replies.empty());
    // A refusal of our offer is taken without a word; a switch-off of an agreed one is answered once.
    TelnetStream other;
    other.Greeting();
    EXPECT_TRUE(Feed(other, {IAC, DONT, 0, IAC, WONT, 0}).replies.empty());
    EXPECT_FALSE(other.WeDo(0));
    EXPECT_EQ(Feed(other, {IAC, DO, 1, IAC, DONT, 1, IAC, DONT, 1}).replies, (Bytes{IAC, WILL, 1, IAC, WONT, 1}));
}

TEST(TelnetStreamTest, OverlongSubnegotiationIsDroppedAndDataGoesOn)
{
    TelnetStream stream(true);
    Bytes in{IAC, SB, 44};
    in.insert(in.end(), TelnetStream::kMaxSubnegotiation + 1, 'x');
    in.insert(in.end(), {'d', IAC, SB, 44, 7, IAC, SE});
    const Fed out = Feed(stream, in);
    EXPECT_EQ(out.data, Bytes{'d'});
    EXPECT_EQ(out.subnegotiations, (std::vector<Bytes>{{44, 7}}));
}

TEST(TelnetStreamTest, FloodGetsBoundedAnswers)
{
    TelnetStream stream;
    Bytes in;
    for (int round = 0; round < 200; ++round)
        for (int option = 0; option < 256; ++option)
            in.insert(in.end(), {IAC, static_cast<std::uint8_t>(WILL + round % 4), static_cast<std::uint8_t>(option), 'k'});
    const Fed out = Feed(stream, in);
    EXPECT_EQ(out.data.size(), 200u * 256u);
    // Each option refused at most once each way, plus switching the few agreed ones.
    EXPECT_LT(out.replies.size(), 3u * (2 * 256 + 200 * 6));
}

TEST(TelnetStreamTest, EscapeDoublesEveryIac)
{
    const Bytes in{1, IAC, IAC, 2, IAC};
    Bytes out;
    TelnetStream::Escape(in.data(), in.size(), out);
    EXPECT_EQ(out, (Bytes{1, IAC, IAC, IAC, IAC, 2, IAC, IAC}));
    TelnetStream stream;
    EXPECT_EQ(Feed(stream, out).data, in);
    EXPECT_EQ(TelnetStream::Subnegotiation(44, {101, IAC}), (Bytes{IAC, SB, 44, 101, IAC, IAC, IAC, SE}));
}

}  // namespace
