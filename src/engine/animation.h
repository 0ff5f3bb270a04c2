// Keyframed animation sets and the animation controller that poses a frame
// hierarchy with them.
//
// Contract (no back-end specific part):
//  - Key times are in ticks; a set converts with its ticks per second (4800
//    when the file gives none). A set's period is its largest key time
//    divided by ticks per second. Sets loop: the periodic position of a track
//    position p is fmod(p, period) (0 exactly at the period, and for a set of
//    period 0).
//  - Between keys k0 <= t < k1: scale and translation are lerped, rotation
//    slerped (shortest arc); before the first key the first value holds,
//    after the last the last. A channel without keys gives identity (scale 1,
//    no rotation, no translation). Matrix keys are decomposed into scale,
//    rotation and translation and interpolated like the others.
//  - Rotation keys are stored as the .x file's quaternion conjugated, so
//    MatrixRotationQuaternion of a stored key is the frame's rotation. The
//    local matrix is Scale * Rotation * Translation.
//  - The controller indexes its sets in reverse file order (the last set in
//    the file is index 0, which track 0 plays after loading) unless
//    kAnimationSetsInFileOrder is set. Tracks: after loading track 0 is
//    enabled with speed 1, weight 1, position 0, set 0.
//  - AdvanceTime(dt) adds dt * speed to the position of every enabled track
//    and writes every animated frame's transformation matrix (weighted over
//    the enabled tracks that animate it). AdvanceTime(0) re-poses at the
//    present positions. Frames no enabled track animates keep their matrix.
//    GetTrackDesc reports the track position unwrapped.
//  - SetTrackAnimationSet keeps the track position; it accepts only this
//    controller's own sets (or null, which leaves the track without a set).
//  - Track positions accumulate in single precision: AdvanceTime stores
//    float(position + dt * speed). The game's windows on animation time are
//    float values reached by adding its float frame step.
//  - Tracks at weight w blend scale and translation linearly and rotation by
//    slerp with the normalised weights; a frame animated by one enabled
//    track gets exactly that track's pose. Priorities are kept but not used.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/math.h"

namespace engine {

// Index order of the sets within a controller. The reference library is
// believed to index the last set in the file as 0; this switch turns that off.
inline constexpr bool kAnimationSetsInFileOrder = false;

struct VectorKey {
  std::uint32_t time = 0;
  Vec3 value;
};
struct QuaternionKey {
  std::uint32_t time = 0;
  Quaternion value;  // already conjugated from the file's w, x, y, z
};

// The keys of one frame within one set.
struct AnimationChannel {
  std::string frameName;
  std::vector<VectorKey> scaleKeys;
  std::vector<QuaternionKey> rotationKeys;
  std::vector<VectorKey> translationKeys;
};

class AnimationSet {
 public:
  AnimationSet(std::string name, double ticksPerSecond, std::vector<AnimationChannel> channels);

  const std::string& GetName() const { return name_; }
  double GetPeriod() const { return period_; }
  double GetTicksPerSecond() const { return ticksPerSecond_; }
  double GetPeriodicPosition(double position) const;
  std::uint32_t GetNumAnimations() const { return static_cast<std::uint32_t>(channels_.size()); }
  const AnimationChannel& GetChannel(std::uint32_t i) const { return channels_[i]; }
  // Scale, rotation and translation of channel i at a periodic position in
  // seconds.
  void GetSRT(double periodicPosition, std::uint32_t channel, Vec3* scale, Quaternion* rotation,
              Vec3* translation) const;

 private:
  std::string name_;
  double ticksPerSecond_;
  double period_ = 0;
  std::vector<AnimationChannel> channels_;
};

enum class TrackPriority : std::uint32_t { Low = 0, High = 1 };

struct TrackDesc {
  TrackPriority priority = TrackPriority::Low;
  float weight = 1.0f;
  float speed = 1.0f;
  double position = 0.0;
  bool enable = false;
};

class AnimationController {
 public:
  // `sets` in file order; they are indexed as the contract above says.
  explicit AnimationController(std::vector<std::shared_ptr<AnimationSet>> sets,
                               std::uint32_t maxTracks = 2);

  // Where channel frame names write their pose. Registered by the loader
  // once per frame of the hierarchy; names without an output are skipped.
  void RegisterAnimationOutput(const std::string& frameName, Matrix* transformationMatrix);

  std::uint32_t GetNumAnimationSets() const { return static_cast<std::uint32_t>(sets_.size()); }
  std::uint32_t GetMaxNumTracks() const { return static_cast<std::uint32_t>(tracks_.size()); }
  // The set with the given index, or null past the end.
  AnimationSet* GetAnimationSet(std::uint32_t index) const;
  bool SetTrackAnimationSet(std::uint32_t track, AnimationSet* set);
  AnimationSet* GetTrackAnimationSet(std::uint32_t track) const;
  bool SetTrackDesc(std::uint32_t track, const TrackDesc& desc);
  bool GetTrackDesc(std::uint32_t track, TrackDesc* desc) const;
  bool SetTrackSpeed(std::uint32_t track, float speed);
  bool SetTrackPosition(std::uint32_t track, double position);
  bool SetTrackEnable(std::uint32_t track, bool enable);
  bool SetTrackWeight(std::uint32_t track, float weight);
  void AdvanceTime(double seconds);
  double GetTime() const { return time_; }

 private:
  struct Track {
    TrackDesc desc;
    AnimationSet* set = nullptr;
  };
  struct Output {
    std::string name;
    Matrix* matrix;
  };
  struct Sample {
    int set;
    double periodic;
    float weight;
  };
  int IndexOf(const AnimationSet* set) const;
  void Pose();

  std::vector<std::shared_ptr<AnimationSet>> sets_;  // by index
  std::vector<Track> tracks_;
  std::vector<Output> outputs_;
  // channelOf_[set][output]: the set's channel that drives the output, or -1.
  std::vector<std::vector<int>> channelOf_;
  std::vector<Sample> samples_;  // scratch for Pose, reused
  double time_ = 0;
};

}  // namespace engine
