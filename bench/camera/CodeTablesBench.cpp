// Converts every ordinal and every code of every table, as the probing loops
// of EnterRemoteMode do; each iteration is one full sweep.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "camera/sdk/CodeTables.h"

// Counts heap allocations so the sweeps can show they make none.
static std::atomic<long> Allocations{0};

void* operator new(std::size_t size) {
  ++Allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace korv {
namespace {

constexpr uint32_t HighestCode = 0x100;  // covers every table code but the no-value ones

// Runs `sweep` (which returns how many conversions it made) per iteration and
// reports the time of one conversion and the allocations made meanwhile.
template <typename Sweep>
void Measure(benchmark::State& state, Sweep sweep) {
  int64_t conversions = 0;
  const long allocationsBefore = Allocations;
  for (auto _ : state) conversions += sweep();
  state.counters["allocations"] = static_cast<double>(Allocations - allocationsBefore);
  state.counters["per_conversion"] =
      benchmark::Counter(static_cast<double>(conversions), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void SweepOrdinals(benchmark::State& state) {
  const auto set = static_cast<CodeSet>(state.range(0));
  Measure(state, [set] {
    int64_t conversions = 0;
    for (int s = 0; s < CameraSettingCount; ++s) {
      const auto setting = static_cast<CameraSetting>(s);
      const uint8_t count = OrdinalCount(setting);
      for (uint8_t ordinal = 0; ordinal <= count; ++ordinal)
        benchmark::DoNotOptimize(OrdinalToCode(set, setting, ordinal));
      conversions += count + 1;
    }
    return conversions;
  });
}

void SweepCodes(benchmark::State& state) {
  const auto set = static_cast<CodeSet>(state.range(0));
  Measure(state, [set] {
    int64_t conversions = 0;
    for (int s = 0; s < CameraSettingCount; ++s) {
      const auto setting = static_cast<CameraSetting>(s);
      for (uint32_t code = 0; code <= HighestCode; ++code)
        benchmark::DoNotOptimize(CodeToOrdinal(set, setting, code));
      benchmark::DoNotOptimize(CodeToOrdinal(set, setting, NoValueCode(set, setting)));
      conversions += HighestCode + 2;
    }
    return conversions;
  });
}

BENCHMARK(SweepOrdinals)->Arg(static_cast<int>(CodeSet::CD))->Arg(static_cast<int>(CodeSet::PR));
BENCHMARK(SweepCodes)->Arg(static_cast<int>(CodeSet::CD))->Arg(static_cast<int>(CodeSet::PR));

}  // namespace
}  // namespace korv
