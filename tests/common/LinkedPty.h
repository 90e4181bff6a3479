#pragma once
// A device that goes away and comes back: a pseudo-terminal reached through a
// symbolic link, which each return moves (atomically) to a new one, as udev
// moves a stable name to an adapter's new node.

#include "tests/common/PtyPair.h"

#include <stdio.h>
#include <termios.h>
#include <unistd.h>

#include <memory>
#include <string>

namespace testpty {

class LinkedPty {
public:
    explicit LinkedPty(std::string link) : m_link(std::move(link)) {}
    ~LinkedPty() { ::unlink(m_link.c_str()); }

    // A new device, raw before anyone can open it, then the link to it.
    bool Appear()
    {
        m_pty = std::make_unique<PtyPair>();
        termios settings{};
        if (!m_pty->Open(false) || tcgetattr(m_pty->Master(), &settings) != 0)
            return false;
        cfmakeraw(&settings);
        const std::string temporary = m_link + ".new";
        ::unlink(temporary.c_str());
        return tcsetattr(m_pty->Master(), TCSANOW, &settings) == 0 &&
               ::symlink(m_pty->SlavePath().c_str(), temporary.c_str()) == 0 &&
               ::rename(temporary.c_str(), m_link.c_str()) == 0;
    }
    // The device hangs up and its node goes; the link stays behind, stale.
    void Vanish()
    {
        if (m_pty)
            m_pty->CloseMaster();
    }
    const std::string& Link() const { return m_link; }
    PtyPair& Pty() { return *m_pty; }

private:
    std::string m_link;
    std::unique_ptr<PtyPair> m_pty;
};

}  // namespace testpty
