#include "scenes/report.h"

#include <cstdio>

#include "creatures/enemy_manager.h"
#include "scenes/game/game_parent.h"
#include "scenes/game/game_play.h"
#include "scenes/loading/load_parent.h"
#include "scenes/result/game_result.h"
#include "scenes/title/title_parent.h"

namespace scenes {

namespace {

const char* SceneName(const SequenceChild* scene) {
  if (!scene) return "none";
  if (dynamic_cast<const LoadParent*>(scene)) return "loading";
  if (dynamic_cast<const TitleParent*>(scene)) return "title";
  if (const auto* game = dynamic_cast<const GameParent*>(scene)) {
    return dynamic_cast<const GameResult*>(game->child) ? "result" : "play";
  }
  return "other";
}

}  // namespace

std::string DescribeRun(const SequenceParent& root, const Services& services, std::uint32_t seed,
                        long ticks) {
  std::string json;
  char part[512];
  std::snprintf(part, sizeof part,
                "{\"scene\":\"%s\",\"ticks\":%ld,\"seed\":%u,\"runs\":%d,\"lang\":\"%s\"",
                SceneName(root.child), ticks, static_cast<unsigned>(seed), services.runsFinished,
                services.language == content::Language::English ? "en" : "ja");
  json += part;
  if (const auto* game = dynamic_cast<const GameParent*>(root.child)) {
    const creatures::Player& p = *game->player;
    const engine::Vec3 at = p.Position();
    const creatures::ScoreState& s = game->score;
    std::snprintf(part, sizeof part,
                  ",\"timeLeft\":%.4f,\"paused\":%s,\"player\":{\"x\":%.4f,\"y\":%.4f,\"z\":%.4f,"
                  "\"height\":%.4f,\"size\":%.4f},\"score\":%d,\"bestCombo\":%d,"
                  "\"meals\":{\"fly\":%d,\"caterpillar\":%d,\"butterfly\":%d,\"beetle\":%d}",
                  static_cast<double>(game->timeLeft), game->paused ? "true" : "false",
                  static_cast<double>(at.x), static_cast<double>(at.y), static_cast<double>(at.z),
                  static_cast<double>(p.mHeight), static_cast<double>(p.mSize), s.score,
                  s.bestCombo, s.meals[0], s.meals[1], s.meals[2], s.meals[3]);
    json += part;
  }
  if (services.runsFinished > 0) {
    const RunSummary& r = services.lastRun;
    std::snprintf(part, sizeof part,
                  ",\"lastRun\":{\"score\":%d,\"bestCombo\":%d,\"finalSize\":%.4f,"
                  "\"rankedPlace\":%d,\"meals\":{\"fly\":%d,\"caterpillar\":%d,"
                  "\"butterfly\":%d,\"beetle\":%d}}",
                  r.score, r.bestCombo, static_cast<double>(r.finalSize), r.rankedPlace, r.meals[0],
                  r.meals[1], r.meals[2], r.meals[3]);
    json += part;
  }
  if (services.enemies) {
    const creatures::EnemyManager& e = *services.enemies;
    std::snprintf(part, sizeof part,
                  ",\"insects\":{\"fly\":%d,\"caterpillar\":%d,\"butterfly\":%d,\"beetle\":%d}",
                  e.Count(creatures::kFly), e.Count(creatures::kCaterpillar),
                  e.Count(creatures::kButterfly), e.Count(creatures::kBeetle));
    json += part;
  }
  json += "}";
  return json;
}

}  // namespace scenes
