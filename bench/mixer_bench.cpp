// The audio thread's work: one SDL callback period (1024 frames, 23 ms of
// sound) mixed from the game's busiest moment, both music tracks looping and
// every effect playing at once. The target is well under a millisecond, so
// the callback never starves the device.
//
// Also the load-time conversion of one second of a 22.05 kHz mono 8-bit
// effect and of a 48 kHz stereo 16-bit track to the output format.
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/sound.h"

namespace {

std::vector<std::int16_t> Tone(std::size_t frames, int period) {
  std::vector<std::int16_t> s(frames * 2);
  for (std::size_t i = 0; i < frames; ++i) {
    auto v = static_cast<std::int16_t>((static_cast<int>(i % period) - period / 2) * 200);
    s[2 * i] = v;
    s[2 * i + 1] = static_cast<std::int16_t>(-v);
  }
  return s;
}

void BM_MixCallbackPeriod(benchmark::State& state) {
  auto device = platform::CreateSilentSoundDevice();
  std::vector<std::unique_ptr<platform::SoundBuffer>> buffers;
  const auto voices = static_cast<int>(state.range(0));
  for (int i = 0; i < voices; ++i) {
    buffers.push_back(device->CreateBufferFromOutput(Tone(44100 + 997 * i, 50 + i)));
    buffers.back()->Play(platform::kPlayLooping);
  }
  device->SetVolume(-300);
  device->SetPan(400);
  std::vector<std::int16_t> out(1024 * 2);
  for (auto _ : state) {
    device->Mix(out.data(), 1024);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * 1024);
}
BENCHMARK(BM_MixCallbackPeriod)->Arg(1)->Arg(8);

void BM_ConvertOneSecond(benchmark::State& state) {
  const bool effect = state.range(0) == 0;
  const platform::PcmFormat format =
      effect ? platform::PcmFormat{1, 22050, 8, 1} : platform::PcmFormat{2, 48000, 16, 4};
  std::vector<std::uint8_t> data(std::size_t{format.sampleRate} * format.blockAlign);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
  std::vector<std::int16_t> out;
  std::string error;
  for (auto _ : state) {
    platform::ConvertPcmToOutput(format, data, &out, &error);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetLabel(effect ? "22050 Hz mono 8-bit" : "48000 Hz stereo 16-bit");
}
BENCHMARK(BM_ConvertOneSecond)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
