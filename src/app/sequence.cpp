#include "app/sequence.h"

#include "platform/keyboard.h"

namespace app {

namespace {
FirstSceneFactory gFirstScene = nullptr;
}  // namespace

bool SequenceParent::created_ = false;

void SetFirstSceneFactory(FirstSceneFactory factory) { gFirstScene = factory; }

SequenceChildBase* SequenceChild::Update(SequenceChildBase* parent) {
  return Update(dynamic_cast<SequenceParent*>(parent));
}

SequenceParent& SequenceParent::GetInstance() {
  // The instance counts as created before the first scene is built, so the
  // first scene's constructor (and the loader thread it starts) may ask for
  // the instance and get it, with no scene yet.
  static SequenceParent instance;
  if (!created_) {
    created_ = true;
    if (gFirstScene) instance.child = gFirstScene();
  }
  return instance;
}

SequenceParent::~SequenceParent() {
  delete child;
  child = nullptr;
}

void SequenceParent::Update() {
  if (!child) return;
  SequenceChildBase* next = child->Update(this);
  if (next == child) return;
  // Top-level scenes only ever hand up top-level scenes.
  auto* top = dynamic_cast<SequenceChild*>(next);
  delete child;
  child = top;
}

void SequenceParent::Draw() {
  if (child) child->Draw();
}

bool EscapeEdge(SequenceParent& root, bool condition) {
  if (platform::GetAsyncKeyState(platform::kVkEscape) >= 0) {
    root.escapeArmed = true;
    return false;
  }
  if (root.escapeArmed && condition) {
    root.escapeArmed = false;
    return true;
  }
  return false;
}

}  // namespace app
