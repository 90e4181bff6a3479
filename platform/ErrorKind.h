#pragma once
// What an errno means to the code that met it, decided in one place: the
// device or the peer is gone, the call would have to wait, a signal
// interrupted it, the object does not take this request, or anything else.

namespace platform {

enum class ErrorKind {
    Gone,         // the device went away or the connection broke (EIO, ENXIO, ENODEV, EPIPE, ECONNRESET, ...)
    WouldBlock,   // EAGAIN, EWOULDBLOCK
    Interrupted,  // EINTR
    Refused,      // this object does not do that (ENOTTY, EINVAL, EOPNOTSUPP): a pty asked for modem lines
    Other,
};

ErrorKind ClassifyError(int error);

}  // namespace platform
