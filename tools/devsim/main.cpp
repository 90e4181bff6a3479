// kestrana-devsim: a serial device on a pseudo-terminal, for tests,
// benchmarks and trying the terminal without hardware.

#include "tools/devsim/FarEndLink.h"
#include "tools/devsim/Options.h"
#include "tools/devsim/Pty.h"
#include "tools/devsim/Simulator.h"

#include "platform/UniqueFd.h"

#include <signal.h>
#include <sys/signalfd.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    devsim::Options options;
    std::string error;
    switch (devsim::ParseOptions(argc, argv, options, error)) {
    case devsim::ParseStatus::Help:
        std::fputs(devsim::UsageText().c_str(), stdout);
        return 0;
    case devsim::ParseStatus::Version:
        std::printf("%s\n", devsim::VersionText().c_str());
        return 0;
    case devsim::ParseStatus::Error:
        std::fprintf(stderr, "kestrana-devsim: %s\n%s", error.c_str(), devsim::UsageText().c_str());
        return 2;
    case devsim::ParseStatus::Ok:
        break;
    }

    // A report to a reader that went away must not kill the device.
    signal(SIGPIPE, SIG_IGN);
    // Signals arrive through a descriptor in the poll loop. An inherited
    // "ignore" would discard them before they could be read, so reset first.
    sigset_t handled;
    sigemptyset(&handled);
    // SIGHUP too ends the run the normal way, so the link goes with it.
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) {
        signal(sig, SIG_DFL);
        sigaddset(&handled, sig);
    }
    if (sigprocmask(SIG_BLOCK, &handled, nullptr) != 0) {
        std::perror("kestrana-devsim: sigprocmask");
        return 1;
    }
    platform::UniqueFd signals(signalfd(-1, &handled, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!signals) {
        std::perror("kestrana-devsim: signalfd");
        return 1;
    }

    auto pty = devsim::Pty::Open(error);
    if (!pty) {
        std::fprintf(stderr, "kestrana-devsim: %s\n", error.c_str());
        return 1;
    }
    // Only now, with the far end raw, may the link appear: a program that
    // waits for it can open the device at once.
    devsim::FarEndLink link;
    if (options.link && !link.Make(*options.link, pty->FarEndPath(), error)) {
        std::fprintf(stderr, "kestrana-devsim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", pty->FarEndPath().c_str());
    if (options.link)
        std::printf("link %s -> %s\n", options.link->c_str(), pty->FarEndPath().c_str());
    std::fflush(stdout);

    devsim::Simulator simulator(options, pty->MasterFd(), signals.get(), stdout);
    return simulator.Run();
}
