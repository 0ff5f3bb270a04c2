// Every content file the game reads, each declared exactly once. The caches
// key their entries by the address of these constants, so every loader,
// drawer and test names a file through the constant here, never through a
// string of its own.
#pragma once

#include <array>
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
// The start-up question asked in the game's window (the panel, and its two
// answers, plain and chosen), and the key legend on the title.
inline constexpr char kScreenQuestion[] = "Texture/screen_question.png";
inline constexpr char kScreenAnswers[] = "Texture/screen_answers.png";
inline constexpr char kKeyLegend[] = "Texture/key_legend.png";

// The English pictures of every caption with words on it, each the size of
// its Japanese picture, so that it lies where that one does.
inline constexpr char kLoadingStrEn[] = "Texture/loading_str_en.png";
inline constexpr char kComboEn[] = "Texture/Combo_en.png";
inline constexpr char kScoreEn[] = "Texture/score_en.png";
inline constexpr char kResultEn[] = "Texture/result_en.png";
inline constexpr char kGeppuEn[] = "Texture/geppu_en.png";
inline constexpr char kBackTitleEn[] = "Texture/back_title_en.png";
inline constexpr char kPushEnterEn[] = "Texture/push_enter_en.png";
inline constexpr char kEndGameEn[] = "Texture/end_game_en.png";
inline constexpr char kScreenQuestionEn[] = "Texture/screen_question_en.png";
inline constexpr char kScreenAnswersEn[] = "Texture/screen_answers_en.png";
inline constexpr char kKeyLegendEn[] = "Texture/key_legend_en.png";

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
    {kScreenQuestion, 560, 250}, {kScreenAnswers, 400, 160}, {kKeyLegend, 224, 152},
    {kLoadingStrEn, 255, 62}, {kComboEn, 90, 32},          {kScoreEn, 215, 73},
    {kResultEn, 296, 80},     {kGeppuEn, 113, 96},         {kBackTitleEn, 800, 600},
    {kPushEnterEn, 350, 62},  {kEndGameEn, 800, 600},      {kScreenQuestionEn, 560, 250},
    {kScreenAnswersEn, 400, 160}, {kKeyLegendEn, 224, 152},
};
// clang-format on

// How the loading screen puts its caption together from the caption's
// picture, which is cut into cells side by side (cell k runs from edges[k]
// to edges[k + 1]; edges past the last cell repeat its right edge): the
// caption's eight places, left to right, show the cells `order` names, and
// the last place ends at the screen's right edge. Each place bounces on
// its own.
struct CaptionCells {
  std::array<std::int32_t, 9> edges;
  std::array<std::uint8_t, 8> order;
};
// "よみこみ中..." from よ, み, こ, 中 and a dot.
inline constexpr CaptionCells kLoadingCells{{0, 62, 120, 182, 238, 255, 255, 255, 255},
                                            {0, 1, 2, 1, 3, 4, 4, 4}};
// "Loading..." from its seven letters and the three dots.
inline constexpr CaptionCells kLoadingCellsEn{{0, 33, 66, 98, 130, 151, 183, 216, 255},
                                              {0, 1, 2, 3, 4, 5, 6, 7}};

// Every picture with words on it, in one language. The game draws its
// captions through one of these, chosen once at start-up; pictures without
// words (digits, icons, the logo) are the same in every language.
struct Captions {
  const char* loading;               // the loading screen's caption, in cells
  const CaptionCells* loadingCells;  // how the loading screen cuts it
  const char* combo;                 // the HUD's combo label
  const char* score;                 // the result's score label
  const char* result;                // the result's title
  const char* burp;                  // the creature's burp on the result
  const char* backTitle;             // the pause question (give the run up?)
  const char* pushEnter;             // the Enter prompt of the title and the result
  const char* endGame;               // the title's quit question
  const char* screenQuestion;        // the start-up question's panel
  const char* screenAnswers;         // its two answers, plain and chosen
  const char* keyLegend;             // the title's key legend
};
inline constexpr Captions kJapanese{kLoadingStr, &kLoadingCells,  kCombo,         kScore,
                                    kResult,     kGeppu,          kBackTitle,     kPushEnter,
                                    kEndGame,    kScreenQuestion, kScreenAnswers, kKeyLegend};
inline constexpr Captions kEnglish{
    kLoadingStrEn, &kLoadingCellsEn, kComboEn,   kScoreEn,          kResultEn,        kGeppuEn,
    kBackTitleEn,  kPushEnterEn,     kEndGameEn, kScreenQuestionEn, kScreenAnswersEn, kKeyLegendEn};
}  // namespace texture

// The languages the game speaks. Japanese is its own; English is there for
// players who do not read it.
enum class Language { Japanese, English };

// The captions of a language: the one place that picks pictures by language.
constexpr const texture::Captions& CaptionsIn(Language language) {
  return language == Language::English ? texture::kEnglish : texture::kJapanese;
}

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
