#pragma once
// What a posted message's lParam carries, said by its type instead of by a
// comment at each cast: a value the message owns, a buffer only lent to the
// receiver until it hands it back, or an identifier nobody dereferences.

#include "platform/WindowMessage.h"

#include <memory>
#include <utility>

namespace platform {

template <typename T>
class Payload final : public MessagePayload {
public:
    explicit Payload(T v) : value(std::move(v)) {}
    T value;
};

// Posts `value`, owned by the message from now on.
template <typename T>
bool PostOwned(MessageTarget& target, unsigned message, WPARAM wParam, T value)
{
    return target.PostOwnedMessage(message, wParam, std::make_unique<Payload<T>>(std::move(value)));
}

// The owned value of the message being handled; null for another message's.
template <typename T>
T* OwnedParam(LPARAM lParam)
{
    auto* payload = dynamic_cast<Payload<T>*>(reinterpret_cast<MessagePayload*>(lParam));
    return payload != nullptr ? &payload->value : nullptr;
}

// A buffer that stays the sender's: the receiver hands it back when done.
template <typename T>
LPARAM LendParam(T* buffer)
{
    return reinterpret_cast<LPARAM>(buffer);
}
template <typename T>
T* LentParam(LPARAM lParam)
{
    return reinterpret_cast<T*>(lParam);
}

// An address used only to tell items apart.
inline LPARAM IdParam(const void* id) { return reinterpret_cast<LPARAM>(id); }

}  // namespace platform
