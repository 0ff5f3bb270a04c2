#include "scenes/sequence.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/null/device_null.h"

namespace scenes {
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
  SequenceChildBase* Update(SequenceParent*, const Tick&) override {
    gLog.push_back("update " + name_);
    return next ? next() : this;
  }
  void Draw(const DrawContext&) override { gLog.push_back("draw " + name_); }
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
  int survivingState = 7;
};

class Child : public TestChildKind {
 public:
  explicit Child(std::string name) : name_(std::move(name)) { gLog.push_back("new " + name_); }
  ~Child() override { gLog.push_back("delete " + name_); }
  using TestChildKind::Draw;
  using TestChildKind::Update;
  SequenceChildBase* Update(TestParent* parent, const Tick&) override {
    gLog.push_back("update " + name_);
    seenParent = parent;
    return next ? next() : this;
  }
  void Draw(TestParent* parent, const DrawContext&) override {
    gLog.push_back("draw " + name_);
    seenParent = parent;
  }
  std::function<SequenceChildBase*()> next;
  TestParent* seenParent = nullptr;

 private:
  std::string name_;
};

class SequenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gLog.clear();
    ASSERT_TRUE(engine::CreateSprite(&device_, &sprite_));
  }
  void TearDown() override { sprite_->Release(); }

  void Update(SequenceParent& root) { root.Update(platform::TickInput{}, services_); }
  void Draw(SequenceParent& root) { root.Draw({device_, *sprite_, textures_, meshes_, nullptr}); }

  platform::NullDevice device_;
  engine::Sprite* sprite_ = nullptr;
  media::TextureManager textures_{&device_};
  media::MeshManager meshes_;
  Services services_;
};

TEST_F(SequenceTest, StayingDeletesNothing) {
  auto* a = new TopScene("a");
  SequenceParent root(a);
  Update(root);
  Draw(root);
  EXPECT_EQ(root.child, a);
  EXPECT_EQ(gLog, (std::vector<std::string>{"new a", "update a", "draw a"}));
}

TEST_F(SequenceTest, RootReplacesAfterTheNewSceneIsBuilt) {
  auto* a = new TopScene("a");
  SequenceParent root(a);
  a->next = [] { return new TopScene("b"); };
  Update(root);
  // The successor is constructed inside the old scene's update, so it exists
  // before the old one is deleted.
  EXPECT_EQ(gLog, (std::vector<std::string>{"new a", "update a", "new b", "delete a"}));
  Draw(root);
  EXPECT_EQ(gLog.back(), "draw b");
}

TEST_F(SequenceTest, ChildOfSameKindReplacesOnlyTheChild) {
  auto* first = new Child("play");
  auto* parent = new TestParent(first);
  SequenceParent root(parent);
  parent->survivingState = 99;
  first->next = [] { return new Child("result"); };
  Update(root);
  EXPECT_EQ(root.child, parent);
  EXPECT_EQ(parent->survivingState, 99);
  EXPECT_EQ(gLog, (std::vector<std::string>{"new play", "new parent", "update play", "new result",
                                            "delete play"}));
  gLog.clear();
  Draw(root);
  EXPECT_EQ(gLog, (std::vector<std::string>{"draw result"}));
}

TEST_F(SequenceTest, ChildReturningTopLevelSceneReplacesItsParent) {
  auto* play = new Child("play");
  auto* parent = new TestParent(play);
  SequenceParent root(parent);
  play->next = [] { return new TopScene("title"); };
  gLog.clear();
  Update(root);
  // The parent hands the new scene up without deleting anything; the root
  // deletes the parent, whose destructor deletes the child that made it.
  EXPECT_EQ(gLog,
            (std::vector<std::string>{"update play", "new title", "delete parent", "delete play"}));
  Draw(root);
  EXPECT_EQ(gLog.back(), "draw title");
}

TEST_F(SequenceTest, TypedUpdateReceivesTheParent) {
  auto* play = new Child("play");
  auto* parent = new TestParent(play);
  SequenceParent root(parent);
  Update(root);
  EXPECT_EQ(play->seenParent, parent);
  // The generic entry casts to the real parent type.
  SequenceChildBase* base = play;
  bool armed = false;
  EXPECT_EQ(base->Update(static_cast<SequenceChildBase*>(parent), Tick{{}, services_, armed}),
            play);
  EXPECT_EQ(play->seenParent, parent);
  // A second-level scene draws with its parent at hand.
  play->seenParent = nullptr;
  Draw(root);
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
  platform::TickInput up, down;
  down.Hold(platform::Key::Escape);
  auto edge = [&](const platform::TickInput& input, bool condition) {
    return EscapeEdge(Tick{input, services_, root.escapeArmed}, condition);
  };
  // Held since start-up: not armed yet, so nothing happens.
  EXPECT_FALSE(edge(down, true));
  EXPECT_FALSE(edge(down, true));
  EXPECT_FALSE(edge(up, true));  // seen up: arms
  EXPECT_TRUE(edge(down, true));
  // Still held (even across a change of scene, the flag lives in the root).
  EXPECT_FALSE(edge(down, true));
  EXPECT_FALSE(edge(up, true));
  // The scene's own condition gates the action and keeps the flag armed.
  EXPECT_FALSE(edge(down, false));
  EXPECT_TRUE(edge(down, true));
}

}  // namespace
}  // namespace scenes
