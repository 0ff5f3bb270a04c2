#include "scenes/sequence.h"

#include <utility>

#include "media/texture_manager.h"

namespace scenes {

namespace {
FirstSceneFactory gFirstScene;
}  // namespace

bool SequenceParent::created_ = false;

void SetFirstSceneFactory(FirstSceneFactory factory) { gFirstScene = std::move(factory); }

SequenceChildBase* SequenceChild::Update(SequenceChildBase* parent, const Tick& tick) {
  return Update(dynamic_cast<SequenceParent*>(parent), tick);
}

SequenceParent& SequenceParent::GetInstance() {
  // The instance counts as created before the first scene is built, so the
  // first scene's constructor (and the loader thread it starts) may ask for
  // the instance and get it, with no scene yet.
  static SequenceParent instance;
  if (!created_) {
    created_ = true;
    instance.ownsSharedSprite_ = true;
    if (gFirstScene) instance.child = gFirstScene();
  }
  return instance;
}

void SequenceParent::ClearScenes() {
  delete child;
  child = nullptr;
}

SequenceParent::~SequenceParent() {
  ClearScenes();
  if (ownsSharedSprite_) media::ReleaseSprite();
}

void SequenceParent::Update(const platform::TickInput& input, Services& services) {
  if (!child) return;
  const Tick tick{input, services, escapeArmed};
  SequenceChildBase* next = child->Update(this, tick);
  if (next == child) return;
  // Top-level scenes only ever hand up top-level scenes.
  auto* top = dynamic_cast<SequenceChild*>(next);
  delete child;
  child = top;
}

void SequenceParent::Draw(const DrawContext& frame) {
  if (child) child->Draw(frame);
}

void SequenceParent::Rehearse(const DrawContext& frame) {
  if (child) child->Rehearse(frame);
}

bool EscapeEdge(const Tick& tick, bool condition) {
  if (!tick.input.Held(platform::Key::Escape)) {
    tick.escapeArmed = true;
    return false;
  }
  if (tick.escapeArmed && condition) {
    tick.escapeArmed = false;
    return true;
  }
  return false;
}

}  // namespace scenes
