// The message-wide operations of the generated classes: merge, copy, swap,
// clear, ownership hand-over, arenas, default instances, and reading shared
// messages from several threads.
#include <google/protobuf/arena.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace {

namespace cm = cefclient_messages;
using messages_test::bytesFromHex;
using messages_test::hexFromBytes;

std::vector<std::string> droppedFileNames(const cm::windowMessage& m) {
  std::vector<std::string> names;
  for (const auto& file : m.droppedfiles()) names.push_back(file.file());
  return names;
}

TEST(MergeTest, AppendsDroppedFilesAndMergesSubMessagesFieldByField) {
  cm::windowMessage destination;
  destination.set_windowid("destination");
  destination.add_droppedfiles()->set_file("a");
  destination.mutable_size()->set_width(1);
  destination.mutable_size()->set_height(2);

  cm::windowMessage source;
  source.add_droppedfiles()->set_file("b");
  source.add_droppedfiles()->set_file("c");
  source.mutable_size()->set_width(3);
  source.mutable_title()->set_title("t");

  destination.MergeFrom(source);

  EXPECT_EQ(droppedFileNames(destination),
            (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(destination.size().width(), 3);
  EXPECT_EQ(destination.size().height(), 2);
  EXPECT_EQ(destination.title().title(), "t");
  EXPECT_EQ(destination.windowid(), "destination");  // absent in the source
  EXPECT_TRUE(destination.IsInitialized());
  EXPECT_EQ(droppedFileNames(source), (std::vector<std::string>{"b", "c"}));
}

TEST(MergeTest, PresentEmptyValuesOverwriteAndUnknownBytesAppend) {
  cm::windowMessage destination;
  ASSERT_TRUE(
      destination.ParsePartialFromString(bytesFromHex("0A 01 61 A2 02 01 78")));
  cm::windowMessage source;
  ASSERT_TRUE(source.ParsePartialFromString(
      bytesFromHex("0A 00 82 01 02 08 00 A2 02 01 79")));

  destination.MergeFrom(source);

  EXPECT_TRUE(destination.has_windowid());
  EXPECT_EQ(destination.windowid(), "");
  EXPECT_TRUE(destination.has_ontop());
  EXPECT_FALSE(destination.ontop().ontop());
  EXPECT_EQ(hexFromBytes(destination.SerializeAsString()),
            "0A 00 82 01 02 08 00 A2 02 01 78 A2 02 01 79");
}

TEST(MergeTest, TypeVerifiedMergeThroughTheBaseClass) {
  cm::windowMessage destination;
  const cm::windowMessage source = messages_test::completeEnvelope();
  const google::protobuf::MessageLite& base = source;
  destination.CheckTypeAndMergeFrom(base);
  EXPECT_EQ(destination.SerializeAsString(), source.SerializeAsString());
}

TEST(CopyTest, CopyFromReplacesEverythingAndCopiesDeeply) {
  cm::windowMessage destination;
  destination.add_droppedfiles()->set_file("old");
  destination.mutable_icon()->set_icon("old");
  const cm::windowMessage source = messages_test::completeEnvelope();

  destination.CopyFrom(source);
  EXPECT_EQ(destination.SerializeAsString(), source.SerializeAsString());

  cm::windowMessage copy(source);
  copy.mutable_size()->set_width(99);
  copy.mutable_droppedfiles(0)->set_file("changed");
  EXPECT_EQ(source.size().width(), -1);
  EXPECT_EQ(source.droppedfiles(0).file(), "first.txt");
}

TEST(CopyTest, CopyOntoItselfLeavesItUnchanged) {
  cm::windowMessage message = messages_test::completeEnvelope();
  const std::string before = message.SerializeAsString();
  message.CopyFrom(message);
  EXPECT_EQ(message.SerializeAsString(), before);
}

TEST(CopyTest, SwapExchangesContents) {
  cm::windowMessage first = messages_test::completeEnvelope();
  cm::windowMessage second;
  second.set_windowid("second");
  const std::string firstBytes = first.SerializeAsString();

  first.Swap(&second);
  EXPECT_EQ(first.windowid(), "second");
  EXPECT_EQ(second.SerializeAsString(), firstBytes);
}

TEST(ClearTest, LeavesNothingPresentAndKeepsStorageForReuse) {
  cm::windowMessage message = messages_test::completeEnvelope();
  ASSERT_TRUE(message.MergeFromString(bytesFromHex("A2 02 01 78")));
  const auto* size = &message.size();
  const auto* firstDropped = &message.droppedfiles(0);

  message.Clear();

  // Present fields are always written, even when empty or zero: nothing
  // written means nothing present, the unknown bytes included.
  EXPECT_EQ(message.SerializePartialAsString(), "");
  EXPECT_EQ(message.ByteSizeLong(), 0U);
  EXPECT_FALSE(message.has_windowid());
  EXPECT_FALSE(message.has_size());
  EXPECT_EQ(message.droppedfiles_size(), 0);
  EXPECT_FALSE(message.IsInitialized());

  // The sub-message object stays, cleared, for the next use.
  EXPECT_EQ(message.mutable_size(), size);
  EXPECT_FALSE(message.size().has_width());
  EXPECT_EQ(message.size().width(), 0);
  EXPECT_EQ(message.add_droppedfiles(), firstDropped);
  EXPECT_FALSE(message.droppedfiles(0).has_file());
}

TEST(ClearTest, ClearingOneFieldClearsOnlyThatField) {
  cm::windowMessage message;
  message.set_windowid("w");
  message.mutable_size()->set_width(1);
  message.mutable_size()->set_height(2);
  message.mutable_size()->clear_height();
  EXPECT_EQ(hexFromBytes(message.SerializePartialAsString()),
            "0A 01 77 22 02 08 01");
  message.clear_size();
  message.add_droppedfiles()->set_file("a");
  message.clear_droppedfiles();
  EXPECT_EQ(hexFromBytes(message.SerializePartialAsString()), "0A 01 77");
}

TEST(SizeTest, SizeComputationCachesTheSizeOfEachPresentSubMessage) {
  cm::windowMessage message = messages_test::completeEnvelope();
  const std::size_t total = message.ByteSizeLong();
  EXPECT_EQ(static_cast<std::size_t>(message.GetCachedSize()), total);
  EXPECT_EQ(static_cast<std::size_t>(message.newwindowinfo().GetCachedSize()),
            message.newwindowinfo().ByteSizeLong());
  EXPECT_EQ(static_cast<std::size_t>(message.droppedfiles(1).GetCachedSize()),
            message.droppedfiles(1).ByteSizeLong());
  EXPECT_EQ(message.SerializeAsString().size(), total);
}

TEST(DefaultInstanceTest, AbsentSubMessageReadsAsDefaultInstance) {
  const cm::windowMessage message;
  EXPECT_EQ(&message.size(), &cm::windowMessage_setSize::default_instance());
  EXPECT_EQ(&message.newwindowinfo(),
            &cm::windowMessage_newWindow::default_instance());
  EXPECT_EQ(message.size().width(), 0);
  EXPECT_EQ(message.title().title(), "");
  EXPECT_FALSE(message.ontop().ontop());
  EXPECT_EQ(message.popupwindowinfo().value64(), 0U);
  EXPECT_EQ(message.windowid(), "");
  EXPECT_FALSE(message.has_windowid());
}

TEST(OwnershipTest, ReleaseAndHandOverSubMessagesAndStrings) {
  cm::windowMessage message;
  message.mutable_size()->set_width(5);
  std::unique_ptr<cm::windowMessage_setSize> released(message.release_size());
  ASSERT_NE(released, nullptr);
  EXPECT_EQ(released->width(), 5);
  EXPECT_FALSE(message.has_size());

  message.set_allocated_size(released.release());
  EXPECT_EQ(message.size().width(), 5);

  message.set_allocated_windowid(new std::string("owned"));
  std::unique_ptr<std::string> id(message.release_windowid());
  EXPECT_EQ(*id, "owned");
  EXPECT_FALSE(message.has_windowid());
}

TEST(ArenaTest, EnvelopeAndEverySubMessageLiveOnTheArena) {
  google::protobuf::Arena arena;
  auto* message =
      google::protobuf::Arena::CreateMessage<cm::windowMessage>(&arena);
  ASSERT_EQ(message->GetArena(), &arena);

  // Sub-messages created by a merge from a heap message go to the arena.
  const cm::windowMessage source = messages_test::completeEnvelope();
  message->MergeFrom(source);
  EXPECT_EQ(message->size().GetArena(), &arena);
  EXPECT_EQ(message->newwindowinfo().GetArena(), &arena);
  EXPECT_EQ(message->droppedfiles(1).GetArena(), &arena);
  EXPECT_EQ(message->SerializeAsString(), source.SerializeAsString());

  // A heap sub-message handed over is owned by the arena from then on.
  auto* title = new cm::windowMessage_setTitle;
  title->set_title("handed over");
  message->set_allocated_title(title);
  EXPECT_EQ(message->title().title(), "handed over");

  auto* parsed =
      google::protobuf::Arena::CreateMessage<cm::windowMessage>(&arena);
  ASSERT_TRUE(parsed->ParseFromString(message->SerializeAsString()));
  EXPECT_EQ(parsed->SerializeAsString(), message->SerializeAsString());
  EXPECT_EQ(parsed->droppedfiles(0).GetArena(), &arena);
}

TEST(ArenaTest, CopyBetweenArenaAndHeapIsDeep) {
  google::protobuf::Arena arena;
  auto* onArena =
      google::protobuf::Arena::CreateMessage<cm::windowMessage>(&arena);
  onArena->CopyFrom(messages_test::completeEnvelope());

  cm::windowMessage onHeap(*onArena);
  onArena->mutable_size()->set_width(42);
  EXPECT_EQ(onHeap.GetArena(), nullptr);
  EXPECT_EQ(onHeap.size().width(), -1);
}

TEST(ConcurrencyTest, SharedConstMessagesAreReadFromManyThreads) {
  const cm::windowMessage shared = messages_test::completeEnvelope();
  const std::string expected = shared.SerializeAsString();
  constexpr int kThreads = 4;
  constexpr int kRounds = 200;
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        if (shared.SerializeAsString() != expected) ++mismatches[t];
        if (cm::windowMessage_newWindow::default_instance().ByteSizeLong() != 0)
          ++mismatches[t];
        if (!shared.size().IsInitialized()) ++mismatches[t];
        cm::windowMessage own;
        if (!own.ParseFromString(expected)) ++mismatches[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(kThreads, 0));
}

}  // namespace
