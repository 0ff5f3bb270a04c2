// Every content file the game reads, each declared exactly once. The caches
// key their entries by the address of these constants, so every loader,
// drawer and test names a file through the constant here, never through a
// string of its own.
#pragma once

#include <cstdint>

namespace content {

namespace texture {
inline constexpr char kLoadingStr[] = "Texture/loading_str.png";
inline constexpr char kResultScoreNum[] = "Texture/result_score_num.png";
inline constexpr char kPar[] = "Texture/par.png";
inline constexpr char kCombo[] = "Texture/Combo.png";
inline constexpr char kNum[] = "Texture/num.png";
inline constexpr char kTime[] = "Texture/time.png";
inline constexpr char kPlayerFace[] = "Texture/player_face.png";
inline constexpr char kWildGauge[] = "Texture/wild_gauge.png";
inline constexpr char kDot[] = "Texture/dot.png";
inline constexpr char kScore[] = "Texture/score.png";
inline constexpr char kResult[] = "Texture/result.png";
inline constexpr char kWildGaugeVal[] = "Texture/wild_gauge_val.png";
inline constexpr char kS[] = "Texture/s.png";
inline constexpr char kSMiss[] = "Texture/s_miss.png";
inline constexpr char kM[] = "Texture/m.png";
inline constexpr char kL[] = "Texture/l.png";
inline constexpr char kW[] = "Texture/w.png";
inline constexpr char kMMiss[] = "Texture/m_miss.png";
inline constexpr char kLMiss[] = "Texture/l_miss.png";
inline constexpr char kWMiss[] = "Texture/w_miss.png";
inline constexpr char kGeppu[] = "Texture/geppu.png";
inline constexpr char kBalloon[] = "Texture/balloon.png";
inline constexpr char kHeart[] = "Texture/heart.png";
inline constexpr char kNote[] = "Texture/note.png";
inline constexpr char kSweat[] = "Texture/sweat.png";
inline constexpr char kNumCombo[] = "Texture/num_combo.png";
inline constexpr char kBackTitle[] = "Texture/back_title.png";
inline constexpr char kTitle[] = "Texture/title.png";
inline constexpr char kTitleBack[] = "Texture/title_back.png";
inline constexpr char kPushEnter[] = "Texture/push_enter.png";
inline constexpr char kTitlePlanet[] = "Texture/title_planet.png";
inline constexpr char kVer[] = "Texture/ver.png";
inline constexpr char kCrown1[] = "Texture/crown1.png";
inline constexpr char kCrown2[] = "Texture/crown2.png";
inline constexpr char kCrown3[] = "Texture/crown3.png";
inline constexpr char kTitleScoreNum[] = "Texture/title_score_num.png";
inline constexpr char kTitleW[] = "Texture/title_w.png";
inline constexpr char kEndGame[] = "Texture/end_game.png";
inline constexpr char kComboTimeGauge[] = "Texture/combo_time_gauge.png";

struct Nominal {
  const char* path;
  std::uint32_t width, height;
};
// Every texture with the size the game asks for it (the first request, where
// a file is asked for twice).
// clang-format off
inline constexpr Nominal kAll[] = {
    {kLoadingStr, 255, 62},   {kResultScoreNum, 550, 79}, {kPar, 77, 79},
    {kCombo, 90, 32},         {kNum, 400, 57},            {kTime, 57, 57},
    {kPlayerFace, 51, 42},    {kWildGauge, 300, 47},      {kDot, 19, 41},
    {kScore, 215, 73},        {kResult, 296, 80},         {kWildGaugeVal, 300, 47},
    {kS, 38, 44},             {kSMiss, 38, 44},           {kM, 41, 47},
    {kL, 43, 49},             {kW, 45, 52},               {kMMiss, 41, 47},
    {kLMiss, 43, 49},         {kWMiss, 45, 52},           {kGeppu, 113, 96},
    {kBalloon, 70, 54},       {kHeart, 70, 54},           {kNote, 70, 54},
    {kSweat, 70, 54},         {kNumCombo, 400, 57},       {kBackTitle, 800, 600},
    {kTitle, 717, 273},       {kTitleBack, 2407, 600},    {kPushEnter, 350, 62},
    {kTitlePlanet, 1069, 1068}, {kVer, 86, 19},           {kCrown1, 80, 67},
    {kCrown2, 64, 54},        {kCrown3, 48, 40},          {kTitleScoreNum, 210, 33},
    {kTitleW, 800, 224},      {kEndGame, 800, 600},       {kComboTimeGauge, 179, 10},
};
// clang-format on
}  // namespace texture

namespace sound {
inline constexpr char kTitleBgm[] = "Sound/title_bgm.wav";
inline constexpr char kSelect[] = "Sound/select.wav";
inline constexpr char kGameBgm[] = "Sound/game_bgm.wav";
inline constexpr char kBon[] = "Sound/bon.wav";
inline constexpr char kEatGoku[] = "Sound/eat_goku.wav";
inline constexpr char kEatHyoi[] = "Sound/eat_hyoi.wav";
inline constexpr char kEnd[] = "Sound/end.wav";
inline constexpr char kMiss[] = "Sound/miss.wav";
inline constexpr const char* kAll[] = {kTitleBgm, kSelect,  kGameBgm, kBon,
                                       kEatGoku,  kEatHyoi, kEnd,     kMiss};
}  // namespace sound

namespace model {
inline constexpr char kPlanet[] = "XFile/planet.x";
inline constexpr char kSkySphere[] = "XFile/sky_sphere.x";
inline constexpr char kPlayerUpBody[] = "XFile/PlayerUpBody.x";
inline constexpr char kPlayerDownBody[] = "XFile/PlayerDownBody.x";
inline constexpr char kPlayerHand[] = "XFile/PlayerHand.x";
inline constexpr char kButterfly[] = "XFile/butterfly.x";
inline constexpr char kCaterpillar[] = "XFile/Caterpillar.x";
inline constexpr char kBeetleBug[] = "XFile/BeetleBug.x";
inline constexpr char kBeetleBugFly[] = "XFile/BeetleBugFly.x";
inline constexpr char kFlower[] = "XFile/flower.x";
inline constexpr char kTree[] = "XFile/Tree.x";
inline constexpr char kStump[] = "XFile/Stump.x";
inline constexpr char kFly[] = "XFile/fly.x";
inline constexpr const char* kStatic[] = {kPlanet, kSkySphere, kBeetleBug, kTree, kStump};
inline constexpr const char* kAnimated[] = {kPlayerUpBody, kPlayerDownBody, kPlayerHand, kButterfly,
                                            kCaterpillar,  kBeetleBugFly,   kFlower,     kFly};
}  // namespace model

namespace data {
inline constexpr char kGameData[] = "Data/game_data.ini";
inline constexpr char kObjectPos[] = "Data/ObjectPos.csv";
inline constexpr char kRanking[] = "Data/Ranking.txt";
}  // namespace data

}  // namespace content
