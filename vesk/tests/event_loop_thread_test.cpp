// EventLoopThread: a ready message thread.
#include <gtest/gtest.h>

#include <future>
#include <memory>

#include "signal_test_support.h"

namespace {

using vesk_test::RecordingListener;
using vesk_test::waitUntil;

TEST(EventLoopThread, RegistersItsNameAndRunsSlotsThere) {
  VESK::EventLoopThread loop("loop-named");
  EXPECT_EQ(loop.thread().getName(), "loop-named");
  EXPECT_EQ(VESK::Thread::getNamedThread("loop-named"), loop.thread());

  VESK::Emitter<void(int)> emitter;
  RecordingListener listener;
  VESK::connect(
      emitter, listener, [&](int v) { listener.record(v); }, loop.thread());
  emitter.send(1);
  emitter.send(2, VESK::Blocking);
  ASSERT_TRUE(waitUntil([&] { return listener.calls() == 2; }));
  EXPECT_EQ(listener.values(), (std::vector<int>{1, 2}));
  for (std::thread::id ranOn : listener.threads()) {
    EXPECT_NE(ranOn, std::this_thread::get_id());
  }
}

TEST(EventLoopThread, StopProcessesWhatIsQueued) {
  VESK::Emitter<void(int)> emitter;
  RecordingListener listener;
  TOLB::Gate hold(0);
  {
    VESK::EventLoopThread loop("loop-stopping");
    VESK::connect(
        emitter, listener,
        [&](int v) {
          if (v == 0) hold.wait();  // keep the loop busy while posting
          listener.record(v);
        },
        loop.thread());
    for (int i = 0; i < 100; ++i) emitter.send(i, VESK::Queued);
    hold.open();
  }  // the destructor stops
  EXPECT_EQ(listener.calls(), 100);
}

TEST(EventLoopThread, StopEndsWhilePostsKeepArriving) {
  VESK::Emitter<void(int)> emitter;
  std::atomic<int> received{0};
  RecordingListener listener;
  VESK::EventLoopThread loop("loop-streamed");
  VESK::connect(
      emitter, listener, [&](int) { ++received; }, loop.thread());
  std::atomic<bool> posting{true};
  std::thread poster([&] {
    while (posting) emitter.send(1, VESK::Queued);
  });
  ASSERT_TRUE(waitUntil([&] { return received > 0; }));

  auto stopped = std::async(std::launch::async, [&] { loop.stop(); });
  const bool ended =
      stopped.wait_for(vesk_test::kDeadline) == std::future_status::ready;
  posting = false;  // lets a loop that missed the stop end, so this fails
  poster.join();    // instead of hanging
  stopped.get();
  EXPECT_TRUE(ended);
}

TEST(EventLoopThread, PostsAfterItHasGoneAreHarmless) {
  VESK::Thread record;
  {
    VESK::EventLoopThread loop("loop-gone");
    record = loop.thread();
  }
  VESK::Emitter<void(int)> emitter;
  RecordingListener listener;
  VESK::connect(
      emitter, listener, [&](int v) { listener.record(v); }, record);
  emitter.send(1);  // runs the old wake-up callable: still safe
  EXPECT_EQ(record.getQueueSize(), 1);
  record.process();
  EXPECT_EQ(listener.values(), std::vector<int>{1});
}

TEST(EventLoopThread, ManyWakeUpsFromManyThreads) {
  VESK::EventLoopThread loop("loop-busy");
  VESK::Emitter<void(int)> emitter;
  std::atomic<int> received{0};
  RecordingListener listener;
  VESK::connect(
      emitter, listener, [&](int) { ++received; }, loop.thread());
  constexpr int kSenders = 4, kEach = 2000;
  std::vector<std::thread> senders;
  for (int s = 0; s < kSenders; ++s) {
    senders.emplace_back([&] {
      for (int i = 0; i < kEach; ++i) emitter.send(i);
    });
  }
  for (auto& sender : senders) sender.join();
  EXPECT_TRUE(waitUntil([&] { return received == kSenders * kEach; }));
}

}  // namespace
