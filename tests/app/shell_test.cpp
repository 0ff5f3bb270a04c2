#include "app/shell.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "scenes/loading/loader_thread.h"

namespace app {
namespace {

using scenes::LoaderThread;

// A clock the test moves by hand; drawing can take "time" by advancing it.
struct FakeLoop {
  explicit FakeLoop(FrameTicker::Pacing pacing = FrameTicker::Pacing::FromNow)
      : ticker({
                   [this] { return now; },
                   [this] { return foreground; },
                   [this] { ++updates; },
                   [this] {
                     ++draws;
                     now += drawCost;
                   },
               },
               pacing) {}
  std::uint32_t now = 0;
  bool foreground = true;
  std::uint32_t drawCost = 0;
  int updates = 0, draws = 0;
  FrameTicker ticker;
};

// The browser calls a frame per display refresh: at 60 Hz every 16.67 ms,
// never on the game's 16 ms. Caught up on a fixed timeline, a minute of
// refreshes still gives 62.5 updates a second, and one draw per refresh.
TEST(FrameTickerTest, CatchUpKeepsSixtyTwoAndAHalfUpdatesOnASixtyHertzDisplay) {
  FakeLoop loop(FrameTicker::Pacing::CatchUp);
  loop.now = 5000;
  loop.ticker.Tick();
  const int updatesAtStart = loop.updates;
  int calls = 0;
  for (int frame = 1; frame <= 3600; ++frame) {  // one minute at 60 Hz
    loop.now = 5000u + static_cast<std::uint32_t>(frame * 1000 / 60);
    if (loop.ticker.Tick() != FrameTicker::Result::TooEarly) ++calls;
  }
  EXPECT_NEAR(loop.updates - updatesAtStart, 3750, 1);  // 60 s / 16 ms
  EXPECT_EQ(loop.ticker.ticksRun, loop.updates);
  EXPECT_LE(loop.draws, calls + 1);  // never two draws in one frame

  // Software rendering in a browser may give only 15 pictures a second: the
  // game still keeps its time.
  FakeLoop slow(FrameTicker::Pacing::CatchUp);
  slow.now = 5000;
  slow.ticker.Tick();
  for (int frame = 1; frame <= 900; ++frame) {  // one minute at 15 Hz
    slow.now = 5000u + static_cast<std::uint32_t>(frame * 1000 / 15);
    slow.ticker.Tick();
  }
  EXPECT_NEAR(slow.updates - 1, 3750, 1);
  EXPECT_EQ(slow.draws, 901);

  // The same display with the game's own pacing falls to one update a
  // refresh: what the catching up is for.
  FakeLoop plain;
  plain.now = 5000;
  plain.ticker.Tick();
  for (int frame = 1; frame <= 3600; ++frame) {
    plain.now = 5000u + static_cast<std::uint32_t>(frame * 1000 / 60);
    plain.ticker.Tick();
  }
  EXPECT_EQ(plain.updates, 3601);
}

TEST(FrameTickerTest, CatchUpStartsAfreshAfterAStall) {
  FakeLoop loop(FrameTicker::Pacing::CatchUp);
  loop.now = 1000;
  loop.ticker.Tick();
  EXPECT_EQ(loop.updates, 1);
  loop.now = 1040;  // 40 ms late: two ticks due, both run, one draw
  EXPECT_EQ(loop.ticker.Tick(), FrameTicker::Result::Drawn);
  EXPECT_EQ(loop.updates, 3);
  EXPECT_EQ(loop.draws, 2);
  EXPECT_EQ(loop.ticker.MsUntilDue(), 8u);  // the timeline, not the call, sets the next
  loop.now = 1100;                          // 68 ms late: four ticks, still caught up
  loop.ticker.Tick();
  EXPECT_EQ(loop.updates, 7);
  loop.now = 11040;  // the page was hidden for ten seconds
  loop.ticker.Tick();
  EXPECT_EQ(loop.updates, 8);  // one tick, not 625
  EXPECT_EQ(loop.ticker.MsUntilDue(), 16u);
}

TEST(FrameTickerTest, RunsAtMostOncePer16Ms) {
  FakeLoop loop;
  loop.now = 16;
  EXPECT_EQ(loop.ticker.Tick(), FrameTicker::Result::Drawn);
  loop.now = 31;  // 15 ms later: nothing at all, not even a draw
  EXPECT_EQ(loop.ticker.Tick(), FrameTicker::Result::TooEarly);
  EXPECT_EQ(loop.updates, 1);
  EXPECT_EQ(loop.draws, 1);
  EXPECT_EQ(loop.ticker.MsUntilDue(), 1u);
  loop.now = 32;
  EXPECT_EQ(loop.ticker.MsUntilDue(), 0u);
  EXPECT_EQ(loop.ticker.Tick(), FrameTicker::Result::Drawn);
  EXPECT_EQ(loop.updates, 2);
}

TEST(FrameTickerTest, BackgroundWindowDrawsWithoutUpdating) {
  FakeLoop loop;
  loop.foreground = false;
  for (int i = 1; i <= 5; ++i) {
    loop.now = 16u * static_cast<std::uint32_t>(i);
    loop.ticker.Tick();
  }
  EXPECT_EQ(loop.updates, 0);
  EXPECT_EQ(loop.draws, 5);
}

TEST(FrameTickerTest, OverrunSkipsExactlyOneDraw) {
  FakeLoop loop;
  loop.now = 100;
  loop.drawCost = 17;  // slower than a tick
  EXPECT_EQ(loop.ticker.Tick(), FrameTicker::Result::Drawn);
  EXPECT_EQ(loop.ticker.lastFrameDuration, 17u);
  loop.now += 16;
  EXPECT_EQ(loop.ticker.Tick(), FrameTicker::Result::DrawSkipped);  // updates, no draw
  EXPECT_EQ(loop.updates, 2);
  loop.now += 16;
  // Never two skips in a row, however slow drawing is.
  EXPECT_EQ(loop.ticker.Tick(), FrameTicker::Result::Drawn);
  loop.now += 16;
  EXPECT_EQ(loop.ticker.Tick(), FrameTicker::Result::DrawSkipped);

  FakeLoop exact;
  exact.now = 100;
  exact.drawCost = 16;  // exactly one tick still draws next time
  exact.ticker.Tick();
  exact.now += 16;
  EXPECT_EQ(exact.ticker.Tick(), FrameTicker::Result::Drawn);
}

TEST(FrameTickerTest, ClockWrapAroundIsHarmless) {
  FakeLoop loop;
  loop.now = 0xFFFFFFF0u;
  EXPECT_EQ(loop.ticker.Tick(), FrameTicker::Result::Drawn);
  loop.now = 0xFFFFFFFFu;  // 15 ms later
  EXPECT_EQ(loop.ticker.Tick(), FrameTicker::Result::TooEarly);
  loop.now = 0x00000000u;  // 16 ms later, across the wrap
  EXPECT_EQ(loop.ticker.Tick(), FrameTicker::Result::Drawn);
  loop.now = 0x0000000Au;
  EXPECT_EQ(loop.ticker.Tick(), FrameTicker::Result::TooEarly);
  EXPECT_EQ(loop.ticker.MsUntilDue(), 6u);
}

TEST(FrameStatsTest, CountsDrawsAndSkipsAndReadsPercentilesOffTheDrawnTicks) {
  FrameStats stats;
  EXPECT_EQ(stats.Percentile(0.5), 0u);
  for (std::uint32_t ms = 1; ms <= 100; ++ms) stats.Add(FrameTicker::Result::Drawn, ms);
  stats.Add(FrameTicker::Result::DrawSkipped, 0);
  stats.Add(FrameTicker::Result::TooEarly, 0);
  EXPECT_EQ(stats.Drawn(), 100);
  EXPECT_EQ(stats.Skipped(), 1);
  EXPECT_EQ(stats.Percentile(0.5), 50u);
  EXPECT_EQ(stats.Percentile(0.95), 95u);
  EXPECT_EQ(stats.Percentile(0.0), 1u);
  EXPECT_EQ(stats.Percentile(1.0), 100u);
  // A stall longer than the buckets still reads as itself at the top.
  stats.Add(FrameTicker::Result::Drawn, 60000);
  EXPECT_EQ(stats.Longest(), 60000u);
  EXPECT_EQ(stats.Percentile(1.0), 60000u);
  EXPECT_EQ(stats.Percentile(0.5), 51u);
}

TEST(OptionsTest, ParsesKnownOptionsAndRejectsTheRest) {
  Options o;
  std::string error;
  const char* ok[] = {"poromeko", "--windowed", "--frames", "120", "--screenshot", "shot.png"};
  ASSERT_TRUE(ParseOptions(6, ok, &o, &error)) << error;
  EXPECT_EQ(o.screen, Options::Screen::Windowed);
  EXPECT_EQ(o.frames, 120);
  EXPECT_EQ(o.screenshot, "shot.png");

  const char* headless[] = {"poromeko", "--headless", "--fullscreen"};
  Options h;
  ASSERT_TRUE(ParseOptions(3, headless, &h, &error));
  EXPECT_TRUE(h.headless);
  EXPECT_EQ(h.screen, Options::Screen::Fullscreen);

  const char* unknown[] = {"poromeko", "--fast"};
  EXPECT_FALSE(ParseOptions(2, unknown, &o, &error));
  EXPECT_NE(error.find("--fast"), std::string::npos);
  const char* missing[] = {"poromeko", "--frames"};
  EXPECT_FALSE(ParseOptions(2, missing, &o, &error));
  const char* bad[] = {"poromeko", "--frames", "12x"};
  EXPECT_FALSE(ParseOptions(3, bad, &o, &error));
  const char* negative[] = {"poromeko", "--frames", "-1"};
  EXPECT_FALSE(ParseOptions(3, negative, &o, &error));

  // A run is replayed from its journal with the journal's own seed.
  Options r;
  const char* replay[] = {"poromeko", "--replay", "run.txt", "--report", "--verbose"};
  ASSERT_TRUE(ParseOptions(5, replay, &r, &error)) << error;
  EXPECT_EQ(r.replay, "run.txt");
  EXPECT_TRUE(r.report);
  EXPECT_TRUE(r.verbose);
  const char* seeded[] = {"poromeko", "--seed", "4294967295", "--record", "out.txt"};
  Options sd;
  ASSERT_TRUE(ParseOptions(5, seeded, &sd, &error)) << error;
  EXPECT_TRUE(sd.hasSeed);
  EXPECT_EQ(sd.seed, 4294967295u);
  EXPECT_EQ(sd.record, "out.txt");
  const char* tooBig[] = {"poromeko", "--seed", "4294967296"};
  EXPECT_FALSE(ParseOptions(3, tooBig, &o, &error));
  const char* both[] = {"poromeko", "--record", "a", "--replay", "b"};
  EXPECT_FALSE(ParseOptions(5, both, &o, &error));
  const char* seedAndReplay[] = {"poromeko", "--seed", "3", "--replay", "b"};
  EXPECT_FALSE(ParseOptions(5, seedAndReplay, &o, &error));

  // The soak's options: the restless autoplayer is an autoplayer, and the
  // memory is printed every N updates for N from 1 up.
  Options m;
  const char* mischief[] = {"poromeko", "--autoplay=mischief", "--rss-every", "3600"};
  ASSERT_TRUE(ParseOptions(4, mischief, &m, &error)) << error;
  EXPECT_TRUE(m.autoplay);
  EXPECT_TRUE(m.mischief);
  EXPECT_EQ(m.rssEvery, 3600);
  Options plain;
  const char* autoplay[] = {"poromeko", "--autoplay"};
  ASSERT_TRUE(ParseOptions(2, autoplay, &plain, &error)) << error;
  EXPECT_TRUE(plain.autoplay);
  EXPECT_FALSE(plain.mischief);
  EXPECT_EQ(plain.rssEvery, 0);
  const char* never[] = {"poromeko", "--rss-every", "0"};
  EXPECT_FALSE(ParseOptions(3, never, &o, &error));
  const char* other[] = {"poromeko", "--autoplay=wild"};
  EXPECT_FALSE(ParseOptions(2, other, &o, &error));
  const char* mischiefReplay[] = {"poromeko", "--autoplay=mischief", "--replay", "b"};
  EXPECT_FALSE(ParseOptions(4, mischiefReplay, &o, &error));
}

TEST(LoaderHandshakeTest, ClosingStopsTheLoaderBetweenJobs) {
  scenes::LoaderHandshake handshake;
  std::vector<int> done;
  std::atomic<bool> firstJobStarted{false};
  auto system = platform::CreateHeadlessSystem();
  {
    LoaderThread loader([&] {
      for (int job = 0; job < 1000; ++job) {
        firstJobStarted = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        done.push_back(job);
        if (handshake.StopRequested()) break;
      }
    });
    handshake.RecordLoaderThread(&loader);
    while (!firstJobStarted) std::this_thread::yield();
    OnWindowDestroy(*system, handshake);
    // The loader has ended by the time the close step returns.
    EXPECT_FALSE(loader.StillActive());
    handshake.RecordLoaderThread(nullptr);
  }
  EXPECT_FALSE(system->PumpEvents());  // quit was posted
  EXPECT_EQ(system->QuitCode(), 0);
  EXPECT_GE(done.size(), 1u);
  EXPECT_LT(done.size(), 1000u);
}

TEST(LoaderHandshakeTest, ClosingAfterLoadingQuitsAtOnce) {
  scenes::LoaderHandshake handshake;
  auto system = platform::CreateHeadlessSystem();
  handshake.RecordLoaderThread(nullptr);
  OnWindowDestroy(*system, handshake);
  EXPECT_FALSE(handshake.StopRequested());
  EXPECT_FALSE(system->PumpEvents());
}

}  // namespace
}  // namespace app
