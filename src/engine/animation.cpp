// Keyframed animation sets and the controller that poses frames with them.
#include "engine/animation.h"

#include <algorithm>
#include <cmath>

namespace engine {

namespace {

constexpr double kDefaultTicksPerSecond = 4800.0;

template <typename Key>
void SortKeys(std::vector<Key>& keys) {
  std::stable_sort(keys.begin(), keys.end(),
                   [](const Key& a, const Key& b) { return a.time < b.time; });
}

// The keys around tick time t: k0 <= t < k1 and the fraction between them.
// Before the first key and from the last key on, both are the same key.
template <typename Key>
void Bracket(const std::vector<Key>& keys, double t, const Key** k0, const Key** k1, float* f) {
  *f = 0.0f;
  if (t <= keys.front().time) {
    *k0 = *k1 = &keys.front();
    return;
  }
  if (t >= keys.back().time) {
    *k0 = *k1 = &keys.back();
    return;
  }
  auto hi = std::upper_bound(keys.begin(), keys.end(), t,
                             [](double time, const Key& k) { return time < k.time; });
  *k1 = &*hi;
  *k0 = &*(hi - 1);
  *f = static_cast<float>((t - (*k0)->time) / static_cast<double>((*k1)->time - (*k0)->time));
}

Vec3 SampleVector(const std::vector<VectorKey>& keys, double t, const Vec3& none) {
  if (keys.empty()) return none;
  const VectorKey *k0, *k1;
  float f;
  Bracket(keys, t, &k0, &k1, &f);
  if (k0 == k1) return k0->value;
  return Vec3Lerp(k0->value, k1->value, f);
}

Quaternion SampleRotation(const std::vector<QuaternionKey>& keys, double t) {
  if (keys.empty()) return Quaternion{};
  const QuaternionKey *k0, *k1;
  float f;
  Bracket(keys, t, &k0, &k1, &f);
  if (k0 == k1) return k0->value;
  return QuaternionSlerp(k0->value, k1->value, f);
}

}  // namespace

// ---------------------------------------------------------------------------
// AnimationSet

AnimationSet::AnimationSet(std::string name, double ticksPerSecond,
                           std::vector<AnimationChannel> channels)
    : name_(std::move(name)),
      ticksPerSecond_(std::isfinite(ticksPerSecond) && ticksPerSecond > 0.0
                          ? ticksPerSecond
                          : kDefaultTicksPerSecond),
      channels_(std::move(channels)) {
  std::uint32_t last = 0;
  for (AnimationChannel& c : channels_) {
    // Keys are looked up by binary search; files normally list them in
    // time order already.
    SortKeys(c.scaleKeys);
    SortKeys(c.rotationKeys);
    SortKeys(c.translationKeys);
    if (!c.scaleKeys.empty()) last = std::max(last, c.scaleKeys.back().time);
    if (!c.rotationKeys.empty()) last = std::max(last, c.rotationKeys.back().time);
    if (!c.translationKeys.empty()) last = std::max(last, c.translationKeys.back().time);
  }
  period_ = last / ticksPerSecond_;
}

double AnimationSet::GetPeriodicPosition(double position) const {
  if (!(period_ > 0.0) || !std::isfinite(position)) return 0.0;
  double p = std::fmod(position, period_);
  if (p < 0.0) p += period_;
  if (p >= period_) p = 0.0;  // a tiny negative position rounds up to the period
  return p;
}

void AnimationSet::GetSRT(double periodicPosition, std::uint32_t channel, Vec3* scale,
                          Quaternion* rotation, Vec3* translation) const {
  if (channel >= channels_.size()) {
    *scale = {1, 1, 1};
    *rotation = Quaternion{};
    *translation = {0, 0, 0};
    return;
  }
  const AnimationChannel& c = channels_[channel];
  double t = periodicPosition * ticksPerSecond_;
  *scale = SampleVector(c.scaleKeys, t, {1, 1, 1});
  *rotation = SampleRotation(c.rotationKeys, t);
  *translation = SampleVector(c.translationKeys, t, {0, 0, 0});
}

// ---------------------------------------------------------------------------
// AnimationController

AnimationController::AnimationController(std::vector<std::shared_ptr<AnimationSet>> sets,
                                         std::uint32_t maxTracks)
    : sets_(std::move(sets)), tracks_(std::max<std::uint32_t>(maxTracks, 1)) {
  sets_.erase(std::remove(sets_.begin(), sets_.end(), nullptr), sets_.end());
  if (!kAnimationSetsInFileOrder) std::reverse(sets_.begin(), sets_.end());
  Track& t0 = tracks_[0];
  t0.desc.enable = true;
  t0.desc.speed = 1.0f;
  t0.desc.weight = 1.0f;
  t0.desc.position = 0.0;
  t0.set = sets_.empty() ? nullptr : sets_[0].get();
}

void AnimationController::RegisterAnimationOutput(const std::string& frameName,
                                                  Matrix* transformationMatrix) {
  if (!transformationMatrix) return;
  outputs_.push_back({frameName, transformationMatrix});
  // Which channel of each set drives the new output (-1: none).
  for (std::size_t s = 0; s < sets_.size(); ++s) {
    if (channelOf_.size() <= s) channelOf_.resize(s + 1);
    int found = -1;
    const AnimationSet& set = *sets_[s];
    for (std::uint32_t c = 0; c < set.GetNumAnimations(); ++c) {
      if (set.GetChannel(c).frameName == frameName) {
        found = static_cast<int>(c);
        break;
      }
    }
    channelOf_[s].push_back(found);
  }
}

AnimationSet* AnimationController::GetAnimationSet(std::uint32_t index) const {
  return index < sets_.size() ? sets_[index].get() : nullptr;
}

int AnimationController::IndexOf(const AnimationSet* set) const {
  for (std::size_t i = 0; i < sets_.size(); ++i) {
    if (sets_[i].get() == set) return static_cast<int>(i);
  }
  return -1;
}

bool AnimationController::SetTrackAnimationSet(std::uint32_t track, AnimationSet* set) {
  if (track >= tracks_.size()) return false;
  // Only this controller's sets (or none) can play on its tracks.
  if (set && IndexOf(set) < 0) return false;
  tracks_[track].set = set;
  return true;
}

AnimationSet* AnimationController::GetTrackAnimationSet(std::uint32_t track) const {
  return track < tracks_.size() ? tracks_[track].set : nullptr;
}

bool AnimationController::SetTrackDesc(std::uint32_t track, const TrackDesc& desc) {
  if (track >= tracks_.size()) return false;
  tracks_[track].desc = desc;
  return true;
}

bool AnimationController::GetTrackDesc(std::uint32_t track, TrackDesc* desc) const {
  if (track >= tracks_.size() || !desc) return false;
  *desc = tracks_[track].desc;
  return true;
}

bool AnimationController::SetTrackSpeed(std::uint32_t track, float speed) {
  if (track >= tracks_.size()) return false;
  tracks_[track].desc.speed = speed;
  return true;
}

bool AnimationController::SetTrackPosition(std::uint32_t track, double position) {
  if (track >= tracks_.size()) return false;
  tracks_[track].desc.position = position;
  return true;
}

bool AnimationController::SetTrackEnable(std::uint32_t track, bool enable) {
  if (track >= tracks_.size()) return false;
  tracks_[track].desc.enable = enable;
  return true;
}

bool AnimationController::SetTrackWeight(std::uint32_t track, float weight) {
  if (track >= tracks_.size()) return false;
  tracks_[track].desc.weight = weight;
  return true;
}

void AnimationController::AdvanceTime(double seconds) {
  time_ += seconds;
  for (Track& t : tracks_) {
    if (!t.desc.enable) continue;
    // Track time is kept in single precision: the game's frame step of
    // 1/59 s (as a float) adds up to exactly the float positions its
    // animation windows are written against (14 steps land on 14/59).
    t.desc.position =
        static_cast<float>(t.desc.position + seconds * static_cast<double>(t.desc.speed));
  }
  Pose();
}

void AnimationController::Pose() {
  // The enabled tracks with a set, at their periodic positions.
  samples_.clear();
  for (const Track& t : tracks_) {
    if (!t.desc.enable || !t.set) continue;
    int s = IndexOf(t.set);
    if (s < 0) continue;
    samples_.push_back({s, t.set->GetPeriodicPosition(t.desc.position), t.desc.weight});
  }
  const Sample* samples = samples_.data();
  std::size_t n = samples_.size();
  if (n == 0) return;

  for (std::size_t o = 0; o < outputs_.size(); ++o) {
    Vec3 scale{0, 0, 0}, translation{0, 0, 0};
    Quaternion rotation;
    float total = 0.0f;
    int used = 0;
    for (std::size_t i = 0; i < n; ++i) {
      int channel = channelOf_[samples[i].set][o];
      if (channel < 0) continue;
      Vec3 s, tr;
      Quaternion r;
      sets_[samples[i].set]->GetSRT(samples[i].periodic, static_cast<std::uint32_t>(channel), &s,
                                    &r, &tr);
      ++used;
      if (used == 1) {
        scale = s;
        rotation = r;
        translation = tr;
        total = std::max(samples[i].weight, 0.0f);
        continue;
      }
      // Running weighted blend: lerp toward the new pose by its share of the
      // weight seen so far (equal shares when every weight is zero).
      float w = std::max(samples[i].weight, 0.0f);
      float share = total + w > 0.0f ? w / (total + w) : 1.0f / static_cast<float>(used);
      total += w;
      scale = Vec3Lerp(scale, s, share);
      translation = Vec3Lerp(translation, tr, share);
      rotation = QuaternionSlerp(rotation, r, share);
    }
    if (used == 0) continue;
    if (used > 1) rotation = QuaternionNormalize(rotation);
    *outputs_[o].matrix = MatrixTransformation(scale, rotation, translation);
  }
}

}  // namespace engine
