#include "platform/QtMessageWindow.h"

#include <QCoreApplication>
#include <QEvent>

#include <memory>

namespace platform {
namespace {

const QEvent::Type kPostedMessageType = static_cast<QEvent::Type>(QEvent::registerEventType());

class PostedMessageEvent final : public QEvent {
public:
    PostedMessageEvent(unsigned message, WPARAM wParam, LPARAM lParam,
                       std::unique_ptr<MessagePayload> payload = nullptr)
        : QEvent(kPostedMessageType), m_message(message), m_wParam(wParam), m_lParam(lParam),
          m_payload(std::move(payload))
    {
    }
    unsigned m_message;
    WPARAM m_wParam;
    LPARAM m_lParam;
    // Goes with the event: handled, or dropped with a window that went first.
    std::unique_ptr<MessagePayload> m_payload;
};

}  // namespace

QtMessageWindow::QtMessageWindow(QObject* parent) : QObject(parent) {}

void QtMessageWindow::SetHandler(unsigned message, Handler handler)
{
    m_handlers[message] = std::move(handler);
}

bool QtMessageWindow::PostMessage(unsigned message, WPARAM wParam, LPARAM lParam)
{
    // postEvent takes ownership of the event and is safe from any thread.
    auto event = std::make_unique<PostedMessageEvent>(message, wParam, lParam);
    m_posts.fetch_add(1, std::memory_order_release);
    QCoreApplication::postEvent(this, event.release());
    return true;
}

bool QtMessageWindow::PostOwnedMessage(unsigned message, WPARAM wParam, std::unique_ptr<MessagePayload> payload)
{
    const auto lParam = reinterpret_cast<LPARAM>(payload.get());
    auto event = std::make_unique<PostedMessageEvent>(message, wParam, lParam, std::move(payload));
    m_posts.fetch_add(1, std::memory_order_release);
    QCoreApplication::postEvent(this, event.release());
    return true;
}

LRESULT QtMessageWindow::SendMessage(unsigned message, WPARAM wParam, LPARAM lParam)
{
    const auto found = m_handlers.find(message);
    return found == m_handlers.end() ? 0 : found->second(wParam, lParam);
}

bool QtMessageWindow::event(QEvent* event)
{
    if (event->type() != kPostedMessageType)
        return QObject::event(event);
    m_posts.load(std::memory_order_acquire);  // pairs with the poster's release
    const auto* posted = static_cast<PostedMessageEvent*>(event);
    SendMessage(posted->m_message, posted->m_wParam, posted->m_lParam);
    return true;
}

}  // namespace platform
