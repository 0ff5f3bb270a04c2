// The scene sequence: every screen is a scene, scenes form two levels.
//
// The root (SequenceParent) holds the current top-level scene. A top-level
// scene that is a parent (the title, the game) holds a second-level scene and
// forwards its update and draw to it. Update returns the scene to be current
// next: the scene itself keeps it, a new scene replaces it and the holder
// deletes the old one. A second-level scene changes the whole sequence by
// returning a new top-level scene, which its parent hands up to the root.
#pragma once

#include <type_traits>

namespace app {

class SequenceParent;

class SequenceChildBase {
 public:
  virtual ~SequenceChildBase() = default;
  // The generic step with the parent as a base pointer. Each level implements
  // it once by casting the parent to its real type and calling its typed
  // Update; the framework itself always calls the typed one.
  virtual SequenceChildBase* Update(SequenceChildBase* parent) = 0;
  virtual void Draw() {}
};

// A top-level scene: its parent is the root.
class SequenceChild : public SequenceChildBase {
 public:
  SequenceChildBase* Update(SequenceChildBase* parent) final;
  virtual SequenceChildBase* Update(SequenceParent* parent) = 0;
};

// Second-level scenes of a parent scene P. P is the parent's class; it must
// be complete where a concrete child is defined.
template <class P>
class ChildScene : public SequenceChildBase {
 public:
  SequenceChildBase* Update(SequenceChildBase* parent) final {
    return Update(dynamic_cast<P*>(parent));
  }
  virtual SequenceChildBase* Update(P* parent) = 0;
};

// The rule every parent scene follows: let the child update with the parent
// as its parent; a child of the same kind replaces the old child (the parent
// stays current); anything else is a top-level scene that goes up to the root,
// which deletes the parent (and with it the old child).
template <class Self, class ChildKind>
class ParentScene : public SequenceChild {
 public:
  ~ParentScene() override { delete child; }

  using SequenceChild::Update;
  SequenceChildBase* Update(SequenceParent*) override {
    SequenceChildBase* next = child->Update(static_cast<Self*>(this));
    if (next == child) return this;
    auto* sameKind = dynamic_cast<ChildKind*>(next);
    if (!sameKind) return next;
    delete child;
    child = sameKind;
    return this;
  }

  ChildKind* child = nullptr;  // owned; never null after construction
};

class SequenceParent {
 public:
  static SequenceParent& GetInstance();
  // Runs at process exit: deletes the scenes and releases the shared sprite.
  ~SequenceParent();

  // The root step: the current top-level scene updates and may be replaced.
  void Update();
  void Draw();

  bool escapeArmed = false;
  SequenceChild* child = nullptr;

  // Tests build their own roots with a first scene of their choosing.
  explicit SequenceParent(SequenceChild* first = nullptr) : child(first) {}

 private:
  static bool created_;
};

// Builds the first scene of the game; installed by the program before the
// first tick (so the framework does not depend on the scenes it runs).
using FirstSceneFactory = SequenceChild* (*)();
void SetFirstSceneFactory(FirstSceneFactory factory);

// The ESC edge rule shared by every scene that reacts to ESC: while ESC is up
// the flag arms; a held ESC acts once, when armed and the scene's condition
// holds. Returns true when the scene should perform its ESC action now.
bool EscapeEdge(SequenceParent& root, bool condition);

}  // namespace app
