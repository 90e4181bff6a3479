#include "platform/MessageQueue.h"
#include "platform/QtMessageWindow.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

TEST(MessageQueue, DeliversInOrderAcrossThreads)
{
    platform::MessageQueue queue;
    std::thread poster([&] {
        for (int i = 0; i < 1000; ++i)
            queue.PostMessage(platform::WM_USER + 1, 0, i);
    });
    for (int i = 0; i < 1000; ++i) {
        auto m = queue.Take(2000ms);
        ASSERT_TRUE(m && m->message == platform::WM_USER + 1 && m->lParam == i) << i;
    }
    poster.join();
    EXPECT_FALSE(queue.Take(0ms));
}

TEST(QtMessageWindow, PostedMessagesRunOnOwnerThreadInOrder)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    platform::QtMessageWindow window;
    std::vector<std::intptr_t> seen;
    std::thread::id handlerThread;
    window.SetHandler(platform::WM_USER + 2, [&](platform::WPARAM w, platform::LPARAM l) {
        EXPECT_EQ(w, 7u);
        seen.push_back(l);
        handlerThread = std::this_thread::get_id();
        return platform::LRESULT{1};
    });
    std::thread poster([&] {
        for (int i = 0; i < 500; ++i)
            window.PostMessage(platform::WM_USER + 2, 7, i);
        window.PostMessage(platform::WM_USER + 99, 0, 0);  // no handler: ignored
    });
    poster.join();
    QElapsedTimer timer;
    timer.start();
    while (seen.size() < 500 && timer.elapsed() < 5000)
        QCoreApplication::processEvents();
    ASSERT_EQ(seen.size(), 500u);
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(seen[static_cast<std::size_t>(i)], i);
    EXPECT_EQ(handlerThread, std::this_thread::get_id());
    EXPECT_EQ(window.SendMessage(platform::WM_USER + 2, 7, 42), 1);
}
