// A client's bytes through the telnet layer and the RFC 2217 requests it
// carries: no read or write past a buffer, never more data than came in,
// answers always whole three-byte negotiations, and serial bytes escaped
// for the client come back out of a fresh telnet layer unchanged.

#include "FuzzTarget.h"
#include "net/ComPortControl.h"
#include "net/TelnetStream.h"

#include <vector>

namespace {

class FuzzPort : public net::ComPortDevice {
public:
    net::ComPortLine Line() const override { return m_line; }
    void ApplyLine(const net::ComPortLine& wanted) override
    {
        m_line = wanted;
        if (m_line.dataSize < 7)
            m_line.dataSize = 8;  // a device that keeps some values
    }
    void Purge(std::uint8_t which) override { FUZZ_CHECK(which >= 1 && which <= 3); }

private:
    net::ComPortLine m_line;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzPort port;
    net::ComPortControl control(port, "Kestrana");
    net::TelnetStream stream(true);
    stream.Greeting();
    std::size_t requests = 0;
    stream.SetSubnegotiationHandler([&](std::uint8_t option, const std::uint8_t* payload, std::size_t length) {
        FUZZ_CHECK(length <= net::TelnetStream::kMaxSubnegotiation);
        ++requests;
        if (option != net::TelnetStream::kOptComPort)
            return;
        for (const std::vector<std::uint8_t>& reply : control.Handle(payload, length)) {
            FUZZ_CHECK(!reply.empty() && reply[0] >= net::ComPortControl::kServerOffset);
            const std::vector<std::uint8_t> wire = net::TelnetStream::Subnegotiation(option, reply);
            FUZZ_CHECK(wire.size() >= reply.size() + 5);
        }
    });

    // In two pieces, cut where the first byte says: state carries across.
    const std::size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    std::vector<std::uint8_t> out, replies;
    stream.Feed(data, cut, out, replies);
    stream.Feed(data + cut, size - cut, out, replies);
    FUZZ_CHECK(out.size() <= size);
    FUZZ_CHECK(replies.size() % 3 == 0);
    for (std::size_t i = 0; i < replies.size(); i += 3) {
        FUZZ_CHECK(replies[i] == net::TelnetStream::kIac);
        FUZZ_CHECK(replies[i + 1] >= net::TelnetStream::kWill);
    }
    // Each option is answered a bounded number of times: one refusal or one
    // switch per request, never a loop.
    FUZZ_CHECK(replies.size() / 3 <= size / 3 + 1);

    // The raw input as serial bytes: escaped, then read back in binary mode.
    std::vector<std::uint8_t> escaped;
    net::TelnetStream::Escape(data, size, escaped);
    net::TelnetStream reader(false);
    const std::uint8_t binary[] = {net::TelnetStream::kIac, net::TelnetStream::kWill, net::TelnetStream::kOptBinary};
    std::vector<std::uint8_t> back, ignored;
    reader.Feed(binary, sizeof binary, back, ignored);
    reader.Feed(escaped.data(), escaped.size(), back, ignored);
    FUZZ_CHECK(back == std::vector<std::uint8_t>(data, data + size));
    return 0;
}
