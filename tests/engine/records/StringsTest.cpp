#include <gtest/gtest.h>

#include <thread>

#include "engine/records/Strings.h"
#include "engine/records/UserCallbacks.h"
#include "resources/StringTable.h"

TEST(Strings, BuiltinTableAnswersAndOverrides) {
  EXPECT_EQ(GetLangString(172), u"Volume %s at position %I64d not read, retry %d");
  EXPECT_EQ(GetLangString(5376), u"lost_folder_%d");
  EXPECT_EQ(GetLangString(57113), u"Operation aborted. Incomplete drive analysis!");
  EXPECT_EQ(GetLangString(132), u"You are copying a large amount of data to the clipboard.\r\nAre you sure you want to do this?");
  EXPECT_EQ(GetLangString(1), u"");  // an id without text
  auto all = BuiltinStrings();
  for (std::size_t i = 1; i < all.size(); ++i) ASSERT_LT(all[i - 1].id, all[i].id);

  struct German : IStringSource {
    std::u16string GetString(std::uint32_t id) const override { return id == 213 ? u"Abgebrochen." : u""; }
  } german;
  SetStringSource(&german);
  EXPECT_EQ(GetLangString(213), u"Abgebrochen.");
  SetStringSource(nullptr);
  EXPECT_EQ(GetLangString(213), u"Recovery aborted.");
}

TEST(UserCallbacksThreads, AStopAnswersCancelWhileTheQuestionIsOpen) {
  ScriptedUserCallbacks ui;
  SetUserCallbacks(&ui);
  ui.Script(QuestionKind::Confirm, Answer::Yes);
  EXPECT_EQ(AskUser({}).answer, Answer::Yes);
  EXPECT_EQ(AskUser({}).answer, Answer::Cancel);  // nothing scripted: the default

  ui.Script(QuestionKind::Confirm, Answer::Yes);
  ui.HoldAnswers(true);
  std::atomic<bool> running{true};
  Answer got = Answer::None;
  std::thread worker([&] { got = AskUser({}, [&] { return running.load(); }).answer; });
  while (ui.Asked().size() < 3) std::this_thread::yield();
  running = false;  // the stop
  worker.join();
  EXPECT_EQ(got, Answer::Cancel);
  ui.Release();  // the late answer goes nowhere
  SetUserCallbacks(nullptr);
  EXPECT_EQ(AskUser({}).answer, Answer::Cancel);  // without callbacks
}
