#pragma once
// Message boxes raised by network and serial events. Showing one never
// blocks the handler that raised it (no nested event loop, so no handler is
// entered again and data keeps moving), and only one is open at a time: what
// comes while it is open goes to the event box instead and is counted. In a
// run without a window the text goes through the message-box funnel, which
// writes it to standard error and the event log.

#include <QMessageBox>
#include <QPointer>

#include <functional>
#include <string>
#include <string_view>

class QWidget;

class CEventMessageBox {
public:
    using EventSink = std::function<void(std::string_view text)>;

    CEventMessageBox(QWidget* parent, EventSink toEventBox);
    ~CEventMessageBox();
    CEventMessageBox(const CEventMessageBox&) = delete;
    CEventMessageBox& operator=(const CEventMessageBox&) = delete;

    void SetHeadless(bool headless) { m_bHeadless = headless; }

    void Show(std::string_view text, std::string_view detail = {});

    // The box now open, or null.
    QMessageBox* OpenBox() const { return m_pBox.data(); }
    // Messages that came while the open box was up.
    int HeldBackCount() const { return m_nHeldBack; }

private:
    void OnBoxClosed();

    QWidget* m_pParent;
    EventSink m_toEventBox;
    QPointer<QMessageBox> m_pBox;
    bool m_bHeadless = false;
    int m_nHeldBack = 0;
    std::string m_strLastHeldBack;
};
