#pragma once
// A tty's whole line state as the kernel keeps it, speeds in bits per second
// included (also the non-standard ones). Read and written with the kernel's
// own interface, whose header cannot live beside <termios.h>; this record is
// ours so the rest of the engine never sees that header. Flag values are the
// usual termios ones.

#include <cstdint>

struct TtyLineState {
    std::uint32_t iflag = 0;
    std::uint32_t oflag = 0;
    std::uint32_t cflag = 0;
    std::uint32_t lflag = 0;
    std::uint8_t line = 0;
    std::uint8_t cc[19] = {};
    std::uint32_t ispeed = 0;
    std::uint32_t ospeed = 0;
};

// False with errno set on failure.
bool ReadTtyLineState(int fd, TtyLineState& state);
bool WriteTtyLineState(int fd, const TtyLineState& state);

// Sets both speeds: a standard rate through its code, any other rate as is.
void SetTtySpeed(TtyLineState& state, std::uint32_t bitsPerSecond);
