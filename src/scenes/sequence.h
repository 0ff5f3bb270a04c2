// The scene sequence: every screen is a scene, scenes form two levels.
//
// The root (SequenceParent) holds the current top-level scene. A top-level
// scene that is a parent (the title, the game) holds a second-level scene and
// forwards its update and draw to it. Update returns the scene to be current
// next: the scene itself keeps it, a new scene replaces it and the holder
// deletes the old one. A second-level scene changes the whole sequence by
// returning a new top-level scene, which its parent hands up to the root.
//
// Every update gets the tick: the keys of this update (read once by the
// shell), the services the shell made for the whole run, and the root's ESC
// flag. Every draw gets the device, the sprite and the caches to draw with.
// Scenes reach nothing else of the shell, and nothing process-wide.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "engine/random.h"
#include "engine/sprite.h"
#include "media/mesh_manager.h"
#include "media/sound_manager.h"
#include "media/texture_manager.h"
#include "media/tuning.h"
#include "platform/graphics.h"
#include "platform/input.h"

namespace creatures {
class EnemyManager;
}
namespace world {
struct WorldObjects;
}

namespace scenes {

class SequenceParent;
class LoaderHandshake;

// How the last finished run went (for reports).
struct RunSummary {
  int score = 0;
  int bestCombo = 0;
  std::array<int, 4> meals{};  // by insect kind: fly, caterpillar, butterfly, beetle
  float finalSize = 0;
  int rankedPlace = -1;  // 0 to 2, or -1 when it did not rank
};

// What the shell makes once for the whole run and every scene may use.
struct Services {
  // The caches the loader fills and the scenes draw from, and the sound
  // system; the graphics device the loader makes pictures and meshes on.
  media::TextureManager* textures = nullptr;
  media::MeshManager* meshes = nullptr;
  media::SoundManager* sounds = nullptr;
  platform::Device* device = nullptr;
  LoaderHandshake* loader = nullptr;  // between the loading scene and the window's close
  // The sounds this update asked for; the root plays them after the update.
  media::SoundRequests soundRequests;
  engine::Random* random = nullptr;            // the one seeded generator
  creatures::EnemyManager* enemies = nullptr;  // the insects, refilled by every run
  world::WorldObjects* objects = nullptr;      // trees, stumps, flowers, refilled by every run
  media::Tuning tuning;                        // read once at start-up
  std::string tuningPath = content::data::kGameData;
  std::string rankingPath = content::data::kRanking;
  std::string objectPositionsPath = content::data::kObjectPos;
  // The language of the captions, chosen once at start-up.
  content::Language language = content::Language::Japanese;
  bool verbose = false;        // the creature's debug lines go to standard output
  bool waitForLoader = false;  // the loading scene waits for its thread (headless runs)
  bool loaded = false;         // the loading scene has handed over
  bool quitRequested = false;  // a scene asked to end the program
  int runsFinished = 0;        // runs that reached the result's ranking step
  RunSummary lastRun;
};

// One update: the keys, the services and the root (for its ESC flag).
struct Tick {
  platform::TickInput input;
  Services& services;
  bool& escapeArmed;
};

// One draw: where to draw and with what.
struct DrawContext {
  platform::Device& device;
  engine::Sprite& sprite;  // the shared sprite
  media::TextureManager& textures;
  media::MeshManager& meshes;
  platform::Surface* backBuffer = nullptr;
};

class SequenceChildBase {
 public:
  virtual ~SequenceChildBase() = default;
  // The generic step with the parent as a base pointer. Each level implements
  // it once by casting the parent to its real type and calling its typed
  // Update; the framework itself always calls the typed one.
  virtual SequenceChildBase* Update(SequenceChildBase* parent, const Tick& tick) = 0;
  virtual void Draw(const DrawContext&) {}
  // Between ticks: a scene about to hand over draws its successor's first
  // pictures unseen (Device::SetRehearsal), so that their first showing
  // costs no more than any other. Changes no game state, as a draw.
  virtual void Rehearse(const DrawContext&) {}
};

// A top-level scene: its parent is the root.
class SequenceChild : public SequenceChildBase {
 public:
  SequenceChildBase* Update(SequenceChildBase* parent, const Tick& tick) final;
  virtual SequenceChildBase* Update(SequenceParent* parent, const Tick& tick) = 0;
};

// Second-level scenes of a parent scene P. P is the parent's class; it must
// be complete where a concrete child is defined.
template <class P>
class ChildScene : public SequenceChildBase {
 public:
  SequenceChildBase* Update(SequenceChildBase* parent, const Tick& tick) final {
    return Update(dynamic_cast<P*>(parent), tick);
  }
  virtual SequenceChildBase* Update(P* parent, const Tick& tick) = 0;
  // Second-level draws get their parent too (a game phase draws the world the
  // game scene holds); the parent calls this one.
  using SequenceChildBase::Draw;
  virtual void Draw(P*, const DrawContext&) {}
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
  SequenceChildBase* Update(SequenceParent*, const Tick& tick) override {
    SequenceChildBase* next = child->Update(static_cast<Self*>(this), tick);
    if (next == child) return this;
    auto* sameKind = dynamic_cast<ChildKind*>(next);
    if (!sameKind) return next;
    delete child;
    child = sameKind;
    return this;
  }
  void Draw(const DrawContext& frame) override { child->Draw(static_cast<Self*>(this), frame); }

  ChildKind* child = nullptr;  // owned; never null after construction
};

// The root: the shell owns it, with the first scene of the run.
class SequenceParent {
 public:
  explicit SequenceParent(SequenceChild* first = nullptr) : child(first) {}
  // Deletes the scenes.
  ~SequenceParent();
  SequenceParent(const SequenceParent&) = delete;
  SequenceParent& operator=(const SequenceParent&) = delete;

  // The root step: the current top-level scene updates and may be replaced;
  // then the sounds the update asked for play, in the order asked.
  void Update(const platform::TickInput& input, Services& services);
  void Draw(const DrawContext& frame);
  void Rehearse(const DrawContext& frame);
  // Deletes the current scene (the program's end, before its services go).
  void ClearScenes();

  bool escapeArmed = false;
  SequenceChild* child = nullptr;
};

// The ESC edge rule shared by every scene that reacts to ESC: while ESC is up
// the flag arms; a held ESC acts once, when armed and the scene's condition
// holds. Returns true when the scene should perform its ESC action now.
bool EscapeEdge(const Tick& tick, bool condition);

}  // namespace scenes
