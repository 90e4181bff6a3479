#include "platform/SystemError.h"

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

bool IsDevicePath(std::string_view object) { return object.substr(0, 5) == "/dev/"; }

// A short remedy for the failures a user can fix without reading a manual.
std::string_view HintFor(std::string_view object, int error)
{
    if (IsDevicePath(object)) {
        if (error == EACCES || error == EPERM)
            return "add yourself to the dialout group";
        if (error == EBUSY || error == EWOULDBLOCK)
            return "another program is using it";
        if (error == ENXIO || error == ENODEV)
            return "no device answers at this node";
    }
    if (error == ENOSPC || error == EDQUOT)
        return "the disk is full";
    if (error == EROFS)
        return "the file system is read-only";
    return {};
}

}  // namespace

std::string ErrorText(int error)
{
    char buffer[256];
    // The GNU form returns a pointer that may or may not be into buffer.
    const char* text = ::strerror_r(error, buffer, sizeof buffer);
    return text != nullptr ? std::string(text) : "error " + std::to_string(error);
}

std::string DescribeFailure(std::string_view action, std::string_view object,
                            std::string_view reason)
{
    std::string text(action);
    if (!object.empty()) {
        text += ' ';
        text += object;
    }
    text += ": ";
    text += reason;
    return text;
}

std::string DescribeFailure(std::string_view action, std::string_view object, int error)
{
    std::string text = DescribeFailure(action, object, std::string_view(ErrorText(error)));
    const std::string_view hint = HintFor(object, error);
    if (!hint.empty()) {
        text += " (";
        text += hint;
        text += ')';
    }
    return text;
}

std::string DescribeLastFailure(std::string_view action, std::string_view object)
{
    const int error = errno;
    return DescribeFailure(action, object, error);
}

}  // namespace platform
