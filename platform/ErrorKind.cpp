#include "platform/ErrorKind.h"

#include <cerrno>

namespace platform {

ErrorKind ClassifyError(int error)
{
    switch (error) {
    case EIO:
    case ENXIO:
    case ENODEV:
    case EPIPE:
    case ECONNRESET:
    case ECONNABORTED:
    case ENOTCONN:
    case ETIMEDOUT:
        return ErrorKind::Gone;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
        return ErrorKind::WouldBlock;
    case EINTR:
        return ErrorKind::Interrupted;
    case ENOTTY:
    case EINVAL:
    case EOPNOTSUPP:
        return ErrorKind::Refused;
    default:
        return ErrorKind::Other;
    }
}

}  // namespace platform
