#include "app/sequence.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/keyboard.h"

namespace app {
namespace {

std::vector<std::string> gLog;

class TestParent;
using TestChildKind = ChildScene<TestParent>;

// A top-level scene whose update is scripted by the test.
class TopScene : public SequenceChild {
 public:
  explicit TopScene(std::string name) : name_(std::move(name)) { gLog.push_back("new " + name_); }
  ~TopScene() override { gLog.push_back("delete " + name_); }
  using SequenceChild::Update;
  SequenceChildBase* Update(SequenceParent*) override {
    gLog.push_back("update " + name_);
    return next ? next() : this;
  }
  void Draw() override { gLog.push_back("draw " + name_); }
  std::function<SequenceChildBase*()> next;

 private:
  std::string name_;
};

class TestParent : public ParentScene<TestParent, TestChildKind> {
 public:
  explicit TestParent(TestChildKind* first) {
    child = first;
    gLog.push_back("new parent");
  }
  ~TestParent() override { gLog.push_back("delete parent"); }
  void Draw() override { child->Draw(); }
  int survivingState = 7;
};

class Child : public TestChildKind {
 public:
  explicit Child(std::string name) : name_(std::move(name)) { gLog.push_back("new " + name_); }
  ~Child() override { gLog.push_back("delete " + name_); }
  using TestChildKind::Update;
  SequenceChildBase* Update(TestParent* parent) override {
    gLog.push_back("update " + name_);
    seenParent = parent;
    return next ? next() : this;
  }
  void Draw() override { gLog.push_back("draw " + name_); }
  std::function<SequenceChildBase*()> next;
  TestParent* seenParent = nullptr;

 private:
  std::string name_;
};

class SequenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gLog.clear();
    platform::ResetKeyboard();
    platform::SetKeyboardFocus(true);
  }
  void TearDown() override { platform::ResetKeyboard(); }
};

TEST_F(SequenceTest, StayingDeletesNothing) {
  auto* a = new TopScene("a");
  SequenceParent root(a);
  root.Update();
  root.Draw();
  EXPECT_EQ(root.child, a);
  EXPECT_EQ(gLog, (std::vector<std::string>{"new a", "update a", "draw a"}));
}

TEST_F(SequenceTest, RootReplacesAfterTheNewSceneIsBuilt) {
  auto* a = new TopScene("a");
  SequenceParent root(a);
  a->next = [] { return new TopScene("b"); };
  root.Update();
  // The successor is constructed inside the old scene's update, so it exists
  // before the old one is deleted.
  EXPECT_EQ(gLog, (std::vector<std::string>{"new a", "update a", "new b", "delete a"}));
  root.Draw();
  EXPECT_EQ(gLog.back(), "draw b");
}

TEST_F(SequenceTest, ChildOfSameKindReplacesOnlyTheChild) {
  auto* first = new Child("play");
  auto* parent = new TestParent(first);
  SequenceParent root(parent);
  parent->survivingState = 99;
  first->next = [] { return new Child("result"); };
  root.Update();
  EXPECT_EQ(root.child, parent);
  EXPECT_EQ(parent->survivingState, 99);
  EXPECT_EQ(gLog, (std::vector<std::string>{"new play", "new parent", "update play", "new result",
                                            "delete play"}));
  gLog.clear();
  root.Draw();
  EXPECT_EQ(gLog, (std::vector<std::string>{"draw result"}));
}

TEST_F(SequenceTest, ChildReturningTopLevelSceneReplacesItsParent) {
  auto* play = new Child("play");
  auto* parent = new TestParent(play);
  SequenceParent root(parent);
  play->next = [] { return new TopScene("title"); };
  gLog.clear();
  root.Update();
  // The parent hands the new scene up without deleting anything; the root
  // deletes the parent, whose destructor deletes the child that made it.
  EXPECT_EQ(gLog,
            (std::vector<std::string>{"update play", "new title", "delete parent", "delete play"}));
  root.Draw();
  EXPECT_EQ(gLog.back(), "draw title");
}

TEST_F(SequenceTest, TypedUpdateReceivesTheParent) {
  auto* play = new Child("play");
  auto* parent = new TestParent(play);
  SequenceParent root(parent);
  root.Update();
  EXPECT_EQ(play->seenParent, parent);
  // The generic entry casts to the real parent type.
  SequenceChildBase* base = play;
  EXPECT_EQ(base->Update(static_cast<SequenceChildBase*>(parent)), play);
  EXPECT_EQ(play->seenParent, parent);
}

TEST_F(SequenceTest, DestroyingTheRootDeletesBothLevels) {
  {
    SequenceParent root(new TestParent(new Child("play")));
    gLog.clear();
  }
  EXPECT_EQ(gLog, (std::vector<std::string>{"delete parent", "delete play"}));
}

TEST_F(SequenceTest, EscapeActsOncePerPressAndNotWhenHeldFromStart) {
  SequenceParent root(new TopScene("a"));
  // Held since start-up: not armed yet, so nothing happens.
  platform::OnKeyDown(platform::kVkEscape);
  EXPECT_FALSE(EscapeEdge(root, true));
  EXPECT_FALSE(EscapeEdge(root, true));
  platform::OnKeyUp(platform::kVkEscape);
  EXPECT_FALSE(EscapeEdge(root, true));  // seen up: arms
  platform::OnKeyDown(platform::kVkEscape);
  EXPECT_TRUE(EscapeEdge(root, true));
  // Still held (even across a change of scene, the flag lives in the root).
  EXPECT_FALSE(EscapeEdge(root, true));
  platform::OnKeyUp(platform::kVkEscape);
  EXPECT_FALSE(EscapeEdge(root, true));
  platform::OnKeyDown(platform::kVkEscape);
  // The scene's own condition gates the action and keeps the flag armed.
  EXPECT_FALSE(EscapeEdge(root, false));
  EXPECT_TRUE(EscapeEdge(root, true));
}

}  // namespace
}  // namespace app
