#include "app/ReceiveLineFeed.h"

#include <cstring>

bool InsertLineFeedAfterFirstCR(std::uint8_t* data, std::uint32_t& length, std::size_t capacity)
{
    if (data == nullptr || length == 0 || length >= capacity)
        return false;
    void* found = std::memchr(data, '\r', length);
    if (found == nullptr)
        return false;
    const std::size_t at = static_cast<std::size_t>(static_cast<std::uint8_t*>(found) - data);
    std::memmove(data + at + 2, data + at + 1, length - at - 1);
    data[at + 1] = '\n';
    ++length;
    // Keep the zero byte after the data that readers of the block rely on.
    if (length < capacity)
        data[length] = 0;
    return true;
}
