// RFC 2217 requests in, the server's replies out, against a fake port that
// keeps only what it can.

#include "net/ComPortControl.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using net::ComPortControl;
using net::ComPortLine;
using PortBytes = std::vector<std::uint8_t>;

class FakePort : public net::ComPortDevice {
public:
    ComPortLine Line() const override { return line; }
    void ApplyLine(const ComPortLine& wanted) override
    {
        ComPortLine kept = wanted;
        if (wanted.baud > 4000000)
            kept.baud = line.baud;  // refused: keeps the old one
        if (wanted.parity == 4)
            kept.parity = line.parity;
        line = kept;
        ++applied;
    }
    std::uint8_t ModemState() const override { return modem; }
    void Purge(std::uint8_t which) override { purged.push_back(which); }

    ComPortLine line;
    int applied = 0;
    std::uint8_t modem = 0x30;
    PortBytes purged;
};

struct RequestRow {
    PortBytes request, reply;
};

TEST(ComPortControlTest, Table)
{
    const RequestRow rows[] = {
        {{0}, {100, 'K', 'e', 's'}},
        {{0, 'p', 'y'}, {}},
        {{1, 0, 1, 0xC2, 0}, {101, 0, 1, 0xC2, 0}},  // 115200
        {{1, 0, 0, 0, 0}, {101, 0, 0, 0x25, 0x80}},  // query: 9600
        {{1, 0x10, 0, 0, 0}, {101, 0, 0, 0x25, 0x80}},  // refused: the kept one
        {{2, 7}, {102, 7}},
        {{2, 0}, {102, 8}},
        {{2, 9}, {102, 8}},  // out of range: a query
        {{3, 3}, {103, 3}},
        {{3, 4}, {103, 1}},  // mark refused
        {{3, 0}, {103, 1}},
        {{4, 2}, {104, 2}},
        {{4, 3}, {104, 3}},
        {{5, 0}, {105, 1}},
        {{5, 2}, {105, 2}},
        {{5, 3}, {105, 3}},
        {{5, 5}, {105, 5}},
        {{5, 4}, {105, 6}},
        {{5, 6}, {105, 6}},
        {{5, 9}, {105, 9}},
        {{5, 7}, {105, 8}},
        {{5, 12}, {105, 12}},
        {{5, 10}, {105, 11}},
        {{5, 15}, {105, 15}},
        {{5, 13}, {105, 14}},
        {{5, 18}, {105, 14}},
        {{6}, {106, 0}},
        {{7}, {107, 0x30}},
        {{8}, {}},
        {{9}, {}},
        {{10, 0x1F}, {110, 0x1F}},
        {{11, 0xFF}, {111, 0xFF}},
        {{12, 1}, {112, 1}},
        {{12, 3}, {112, 3}},
        {{42, 1}, {}},
        {{}, {}},
    };
    for (const RequestRow& row : rows) {
        FakePort port;
        ComPortControl control(port, "Kes");
        const auto replies = control.Handle(row.request.data(), row.request.size());
        const PortBytes reply = replies.empty() ? PortBytes{} : replies.front();
        EXPECT_EQ(reply, row.reply) << "request " << (row.request.empty() ? -1 : int(row.request[0])) << " "
                                    << (row.request.size() > 1 ? int(row.request[1]) : -1);
        EXPECT_LE(replies.size(), 1u);
    }
}

TEST(ComPortControlTest, StateCarriesAcrossRequests)
{
    FakePort port;
    ComPortControl control(port, "K");
    const PortBytes requests[] = {{5, 9}, {5, 12}, {5, 5}, {12, 1}, {12, 2}, {8}};
    for (const PortBytes& r : requests)
        control.Handle(r.data(), r.size());
    EXPECT_FALSE(port.line.dtr);
    EXPECT_FALSE(port.line.rts);
    EXPECT_TRUE(port.line.breakOn);
    EXPECT_EQ(port.purged, (PortBytes{1, 2}));
    EXPECT_TRUE(control.Suspended());
    const PortBytes resume{9};
    control.Handle(resume.data(), resume.size());
    EXPECT_FALSE(control.Suspended());
    // A query changes nothing.
    const int applied = port.applied;
    const PortBytes query{2, 0};
    control.Handle(query.data(), query.size());
    EXPECT_EQ(port.applied, applied);
}

TEST(ComPortControlTest, ModemStateNoticeOnlyOnMaskedChange)
{
    FakePort port;
    ComPortControl control(port, "K");
    const PortBytes mask{11, 0x80};
    control.Handle(mask.data(), mask.size());
    port.modem = 0x10;  // CTS only: outside the mask
    EXPECT_EQ(control.ModemStateNotice(), (PortBytes{107, 0x00})) << "the first one always";
    port.modem = 0x30;
    EXPECT_TRUE(control.ModemStateNotice().empty());
    port.modem = 0x90;
    EXPECT_EQ(control.ModemStateNotice(), (PortBytes{107, 0x80}));
    EXPECT_TRUE(control.ModemStateNotice().empty());
}

}  // namespace
