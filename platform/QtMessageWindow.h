#pragma once
// A window's message table on Qt: messages posted from any thread arrive as
// Qt events, in order, on the thread that owns this object, and are handed to
// the handler registered for their number.

#include "platform/WindowMessage.h"

#include <QObject>

#include <atomic>
#include <cstdint>
#include <functional>
#include <unordered_map>

namespace platform {

class QtMessageWindow final : public QObject, public MessageTarget {
public:
    using Handler = std::function<LRESULT(WPARAM, LPARAM)>;

    explicit QtMessageWindow(QObject* parent = nullptr);

    void SetHandler(unsigned message, Handler handler);
    bool PostMessage(unsigned message, WPARAM wParam, LPARAM lParam) override;
    bool PostOwnedMessage(unsigned message, WPARAM wParam, std::unique_ptr<MessagePayload> payload) override;
    // Dispatches at once on the calling thread (which must own this object).
    LRESULT SendMessage(unsigned message, WPARAM wParam, LPARAM lParam);

protected:
    bool event(QEvent* event) override;

private:
    std::unordered_map<unsigned, Handler> m_handlers;
    // Everything a poster wrote before PostMessage (the event, the buffer its
    // lParam points to) is visible to the handler. Qt's event queue already
    // orders it, but through locks a race detector cannot see; this release
    // and acquire pair states the order where it can.
    std::atomic<std::uint64_t> m_posts{0};
};

}  // namespace platform
