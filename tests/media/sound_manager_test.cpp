#include "media/sound_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <thread>

#include "media/paths.h"
#include "media/wav_builder.h"

namespace media {
namespace {

using namespace wavtest;

// Every test starts without a sound system and starts one as the shell
// does; the fixture's helpers reach it the way the game's code reaches the
// shell's (none before InitSound and after ReleaseSound).
class SoundManagerTest : public ::testing::Test {
 protected:
  void InitSound(const SoundDeviceFactory& openDevice = {}) {
    if (!sound_) sound_ = media::InitSound(openDevice);
  }
  void ReleaseSound() { sound_.reset(); }
  SoundHolder* LoadSound(const char* path) { return sound_ ? sound_->LoadSound(path) : nullptr; }
  SoundHolder* FindSound(const char* path) { return sound_ ? sound_->FindSound(path) : nullptr; }
  platform::SoundBuffer* FindSoundBuffer(const char* path) {
    return sound_ ? sound_->FindSoundBuffer(path) : nullptr;
  }

  std::unique_ptr<SoundManager> sound_;
};

// A path constant of the test's own: the cache keys on its address.
struct PathConst {
  explicit PathConst(std::string p) : text(std::move(p)) {}
  const char* c_str() const { return text.c_str(); }
  std::string text;
};

TEST_F(SoundManagerTest, LoadsEveryPlayablePcmLayout) {
  InitSound();
  struct Case {
    std::uint16_t channels, bits;
    std::uint32_t rate;
    std::uint32_t frames;      // in the file
    std::uint32_t outFrames;   // after conversion
    std::int16_t left, right;  // level of the converted sound
  } cases[] = {
      {1, 8, 22050, 2205, 4410, 16384, 16384},
      {2, 8, 44100, 441, 441, -16384, 16384},
      {1, 16, 44100, 100, 100, -1234, -1234},
      {2, 16, 22050, 1000, 2000, 3000, -3000},
      {2, 16, 48000, 4800, 4410, 20000, -20000},
      {1, 16, 48000, 480, 441, 77, 77},
      // The output format itself, read straight into the buffer.
      {2, 16, 44100, 300, 300, -25000, 31000},
  };
  std::vector<PathConst> paths;
  paths.reserve(std::size(cases));
  for (const Case& c : cases) {
    const std::string name = "pcm_" + std::to_string(c.channels) + "ch_" + std::to_string(c.bits) +
                             "_" + std::to_string(c.rate) + ".wav";
    SCOPED_TRACE(name);
    Bytes data;
    for (std::uint32_t i = 0; i < c.frames; ++i) {
      const std::int16_t values[2] = {c.left, c.right};
      for (std::uint16_t ch = 0; ch < c.channels; ++ch) {
        if (c.bits == 8)
          data.push_back(std::uint8_t(values[ch] / 256 + 128));
        else
          Put16(data, std::uint16_t(values[ch]));
      }
    }
    paths.emplace_back(
        WriteFile(name, Riff({PcmFmt(c.channels, c.rate, c.bits), Chunk("data", data)})));
    SoundHolder* holder = LoadSound(paths.back().c_str());
    ASSERT_NE(holder, nullptr);
    ASSERT_NE(holder->buffer, nullptr);
    EXPECT_EQ(holder->error, "");
    EXPECT_EQ(holder->buffer->Size(), c.outFrames * platform::kOutputBytesPerFrame);
    const auto& s = holder->buffer->Samples();
    for (std::size_t i = 0; i < s.size(); i += 2) {
      ASSERT_EQ(s[i], c.left) << i;
      ASSERT_EQ(s[i + 1], c.right) << i;
    }
  }
  EXPECT_EQ(sound_->Count(), std::size(cases));
}

TEST_F(SoundManagerTest, UnplayableFilesLeaveASilentEntry) {
  InitSound();
  Bytes cut = Riff({PcmFmt(1, 44100, 16), Chunk("data", Samples16({5, 6, 7}))});
  cut.resize(cut.size() - 1);  // the last sample loses a byte
  const struct {
    const char* name;
    Bytes file;
  } cases[] = {
      {"m_empty.wav", {}},
      {"m_header.wav", {'R', 'I', 'F', 'F'}},
      {"m_no_data.wav", Riff({PcmFmt(1, 44100, 16)})},
      {"m_garbage.wav", Bytes(300, 0xA5)},
      {"m_adpcm.wav", Riff({Chunk("fmt ",
                                  [] {
                                    Bytes f = FmtFields(2, 1, 22050, 4);
                                    Put16(f, 0);
                                    return f;
                                  }()),
                            Chunk("data", Bytes(64, 0x11))})},
      {"m_float.wav", Riff({ExtensibleFmt(2, 44100, 32, 3), Chunk("data", Bytes(64, 0))})},
      {"m_24bit.wav", Riff({PcmFmt(2, 44100, 24), Chunk("data", Bytes(60, 0))})},
      {"m_rate0.wav", Riff({PcmFmt(2, 0, 16), Chunk("data", Bytes(64, 0))})},
  };
  std::vector<PathConst> paths;
  paths.reserve(std::size(cases) + 3);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    paths.emplace_back(WriteFile(c.name, c.file));
    SoundHolder* holder = LoadSound(paths.back().c_str());
    ASSERT_NE(holder, nullptr);
    ASSERT_NE(holder->buffer, nullptr);
    EXPECT_EQ(holder->buffer->Size(), 0u);
    EXPECT_FALSE(holder->error.empty());
    // Playing a silent sound is harmless.
    EXPECT_TRUE(holder->buffer->Play(platform::kPlayLooping));
    holder->buffer->Stop();
    EXPECT_EQ(FindSound(paths.back().c_str()), holder);
  }

  paths.emplace_back((TempDir() / "missing.wav").string());
  SoundHolder* missing = LoadSound(paths.back().c_str());
  ASSERT_NE(missing, nullptr);
  EXPECT_EQ(missing->buffer->Size(), 0u);

  // A file cut short plays what is there: two whole samples.
  paths.emplace_back(WriteFile("m_cut.wav", cut));
  SoundHolder* partial = LoadSound(paths.back().c_str());
  EXPECT_EQ(partial->buffer->Samples(), (std::vector<std::int16_t>{5, 5, 6, 6}));
  EXPECT_NE(partial->error.find("end of the file"), std::string::npos);

  // The same in the output format, read straight into the buffer: a data
  // chunk declaring more than the file holds, ending in half a frame.
  paths.emplace_back(WriteFile(
      "s_cut.wav", Riff({PcmFmt(2, 44100, 16), Chunk("data", Samples16({1, -1, 2, -2, 3}), 40)})));
  SoundHolder* partialStereo = LoadSound(paths.back().c_str());
  EXPECT_EQ(partialStereo->buffer->Samples(), (std::vector<std::int16_t>{1, -1, 2, -2}));
  EXPECT_NE(partialStereo->error.find("end of the file"), std::string::npos);

  // An extensible PCM file is an ordinary PCM sound.
  PathConst ext(WriteFile(
      "ext.wav", Riff({ExtensibleFmt(1, 44100, 16, 1), Chunk("data", Samples16({9, -9}))})));
  EXPECT_EQ(LoadSound(ext.c_str())->buffer->Samples(), (std::vector<std::int16_t>{9, 9, -9, -9}));
}

TEST_F(SoundManagerTest, LongMusicInTheOutputFormatPlaysFromItsFile) {
  InitSound();
  // Just long enough to be streamed; every frame tells its index.
  const std::uint32_t frames = kStreamSoundsFromBytes / platform::kOutputBytesPerFrame;
  std::vector<std::int16_t> samples;
  for (std::uint32_t i = 0; i < frames; ++i) {
    samples.push_back(static_cast<std::int16_t>(i & 0x7FFF));
    samples.push_back(static_cast<std::int16_t>(-(i & 0x7FFF)));
  }
  PathConst music(
      WriteFile("music.wav", Riff({PcmFmt(2, 44100, 16), Chunk("data", Samples16(samples))})));
  SoundHolder* holder = LoadSound(music.c_str());
  ASSERT_NE(holder, nullptr);
  EXPECT_EQ(holder->error, "");
  platform::SoundBuffer& buffer = *holder->buffer;
  ASSERT_TRUE(buffer.Streamed());
  EXPECT_EQ(buffer.Size(), frames * platform::kOutputBytesPerFrame);

  platform::SoundDevice& device = sound_->Device();
  ASSERT_TRUE(buffer.SetCurrentPosition(40000 * 4));
  ASSERT_TRUE(buffer.Play(platform::kPlayLooping));
  std::vector<std::int16_t> out(2 * 3);
  device.Mix(out.data(), 3);
  EXPECT_EQ(out,
            (std::vector<std::int16_t>{(40000 & 0x7FFF), -(40000 & 0x7FFF), (40001 & 0x7FFF),
                                       -(40001 & 0x7FFF), (40002 & 0x7FFF), -(40002 & 0x7FFF)}));

  // The file cut short under the running game: the rest plays as silence and
  // the music goes on looping.
  std::filesystem::resize_file(music.text, 20);
  std::vector<std::int16_t> rest(2 * std::size_t{frames});
  device.Mix(rest.data(), frames);
  EXPECT_TRUE(std::all_of(rest.begin() + 2 * platform::kStreamWindowFrames, rest.end(),
                          [](std::int16_t v) { return v == 0; }));
  EXPECT_EQ(buffer.GetStatus(), platform::kStatusPlaying | platform::kStatusLooping);
  buffer.Stop();

  // Shorter sounds in the same format are held in memory.
  PathConst jingle(
      WriteFile("jingle.wav", Riff({PcmFmt(2, 44100, 16), Chunk("data", Samples16({4, -4}))})));
  EXPECT_FALSE(LoadSound(jingle.c_str())->buffer->Streamed());
}

TEST_F(SoundManagerTest, CacheIsKeyedByThePathConstantAndNeverReloads) {
  EXPECT_EQ(LoadSound("anything"), nullptr);  // no sound system yet
  EXPECT_EQ(FindSound("anything"), nullptr);
  InitSound();
  SoundManager* first = sound_.get();
  InitSound();  // already running: nothing happens
  EXPECT_EQ(sound_.get(), first);

  PathConst path(WriteFile("cached.wav",
                           Riff({PcmFmt(2, 44100, 16), Chunk("data", Samples16({1, 2, 3, 4}))})));
  EXPECT_EQ(FindSound(path.c_str()), nullptr);
  SoundHolder* holder = LoadSound(path.c_str());
  ASSERT_NE(holder, nullptr);
  EXPECT_EQ(holder->buffer->Size(), 8u);

  // The file changes and then goes away: the cached sound stays as loaded.
  WriteFile("cached.wav", Riff({PcmFmt(2, 44100, 16), Chunk("data", Samples16({1, 2}))}));
  EXPECT_EQ(LoadSound(path.c_str()), holder);
  std::filesystem::remove(path.text);
  EXPECT_EQ(LoadSound(path.c_str()), holder);
  EXPECT_EQ(holder->buffer->Size(), 8u);
  EXPECT_EQ(FindSound(path.c_str()), holder);
  EXPECT_EQ(FindSoundBuffer(path.c_str()), holder->buffer.get());

  // The same text through another constant is another entry.
  PathConst sameText(path.text);
  EXPECT_EQ(FindSound(sameText.c_str()), nullptr);
  EXPECT_NE(LoadSound(sameText.c_str()), holder);
  EXPECT_EQ(sound_->Count(), 2u);

  ReleaseSound();
  EXPECT_EQ(sound_.get(), nullptr);
  EXPECT_EQ(FindSound(path.c_str()), nullptr);
  EXPECT_EQ(FindSoundBuffer(path.c_str()), nullptr);
  ReleaseSound();  // twice is harmless
}

TEST_F(SoundManagerTest, LoadsFromTwoThreadsGiveOneEntryAPath) {
  InitSound();
  std::vector<PathConst> paths;
  for (int i = 0; i < 6; ++i)
    paths.emplace_back(WriteFile("thread" + std::to_string(i) + ".wav",
                                 Riff({PcmFmt(1, 22050, 16), Chunk("data", Bytes(400, 1))})));
  std::vector<SoundHolder*> a(paths.size()), b(paths.size());
  std::thread loader([&] {
    for (std::size_t i = 0; i < paths.size(); ++i) a[i] = LoadSound(paths[i].c_str());
  });
  for (std::size_t i = paths.size(); i-- > 0;) b[i] = LoadSound(paths[i].c_str());
  loader.join();
  EXPECT_EQ(a, b);
  EXPECT_EQ(sound_->Count(), paths.size());
}

TEST_F(SoundManagerTest, ReleaseRestoresTheMasterVolumeAndPanFoundAtStart) {
  struct Seen {
    std::int32_t volume = 1, pan = 1;
    bool destroyed = false;
  } seen;
  // A device that notes its master settings when it is destroyed.
  class WatchedDevice : public platform::SoundDevice {
   public:
    explicit WatchedDevice(Seen* seen) : seen_(seen) {}
    ~WatchedDevice() override {
      seen_->volume = GetVolume();
      seen_->pan = GetPan();
      seen_->destroyed = true;
    }

   private:
    Seen* seen_;
  };
  InitSound([&seen] {
    auto device = std::make_unique<WatchedDevice>(&seen);
    device->SetVolume(-300);
    device->SetPan(250);
    return device;
  });
  EXPECT_EQ(sound_->SavedVolume(), -300);
  EXPECT_EQ(sound_->SavedPan(), 250);

  // A sound still playing at release is simply let go.
  PathConst path(WriteFile("release.wav",
                           Riff({PcmFmt(2, 44100, 16), Chunk("data", Samples16({1, 2, 3, 4}))})));
  ASSERT_TRUE(LoadSound(path.c_str())->buffer->Play(platform::kPlayLooping));
  sound_->Device().SetVolume(-5000);
  sound_->Device().SetPan(-10000);
  ReleaseSound();
  EXPECT_TRUE(seen.destroyed);
  EXPECT_EQ(seen.volume, -300);
  EXPECT_EQ(seen.pan, 250);

  // A factory without a device gives a silent one.
  InitSound([] { return std::unique_ptr<platform::SoundDevice>(); });
  ASSERT_NE(sound_.get(), nullptr);
  EXPECT_FALSE(sound_->Device().IsAudible());
}

TEST_F(SoundManagerTest, TheGamesSoundsLoadFromTheContentFolder) {
  // The generated content, when it has been built, must load cleanly.
  const auto dir = std::filesystem::path(POROMEKO_SOURCE_DIR) / "content";
  if (!std::filesystem::exists(dir / content::sound::kSelect))
    GTEST_SKIP() << "no generated sounds in " << dir;
  InitSound();
  for (const char* path : content::sound::kAll) {
    SCOPED_TRACE(path);
    std::string error;
    auto buffer = LoadWaveBuffer(sound_->Device(), (dir / path).string(), &error);
    ASSERT_NE(buffer, nullptr);
    EXPECT_GT(buffer->Size(), 0u) << error;
    EXPECT_EQ(error, "");
  }
}

}  // namespace
}  // namespace media
