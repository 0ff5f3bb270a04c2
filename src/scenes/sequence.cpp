#include "scenes/sequence.h"

#include <utility>

namespace scenes {

SequenceChildBase* SequenceChild::Update(SequenceChildBase* parent, const Tick& tick) {
  return Update(dynamic_cast<SequenceParent*>(parent), tick);
}

void SequenceParent::ClearScenes() {
  delete child;
  child = nullptr;
}

SequenceParent::~SequenceParent() { ClearScenes(); }

void SequenceParent::Update(const platform::TickInput& input, Services& services) {
  if (!child) return;
  const Tick tick{input, services, escapeArmed};
  SequenceChildBase* next = child->Update(this, tick);
  if (next != child) {
    // Top-level scenes only ever hand up top-level scenes.
    auto* top = dynamic_cast<SequenceChild*>(next);
    delete child;
    child = top;
  }
  if (services.sounds) {
    services.sounds->PlayRequests(services.soundRequests);
  } else {
    services.soundRequests.Clear();
  }
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
