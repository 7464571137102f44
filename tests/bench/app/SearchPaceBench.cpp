// The pace of a search: one whole unsuccessful search on a pseudo-terminal
// where nothing answers, with the real clients and serial component on the
// headless loop in real time.
#include "app/MainForm.h"
#include "app/Startup.h"
#include "tests/support/Pty.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <numeric>

namespace {

using TClock = std::chrono::steady_clock;

void BM_UnsuccessfulSearch(benchmark::State& AState) {
    const TPty LPty;
    if (!LPty.IsOpen()) {
        AState.SkipWithError("no pseudo-terminal");
        return;
    }
    const UnicodeString LPort = LPty.SlaveName();
    StartUpUnits();
    for (auto _ : AState) {
        THeadlessLoop LLoop;
        HeadlessControls().ClearMessages();
        std::vector<TClock::time_point> LStarts;
        TForm1 LForm([&](TAutoTestState AState, int32_t ARepeat) {
            LStarts.push_back(TClock::now());
            return CreateClientForState(AState, ARepeat);
        });
        LForm.ComboBox1->SetItems({LPort});
        LForm.ComboBox1->SetItemIndex(0);
        const auto LBegin = TClock::now();
        LForm.Button1->Click();
        LLoop.RunUntil([] { return !HeadlessControls().Messages().empty(); }, 60000);
        const auto LEnd = TClock::now();
        std::vector<double> LTrials;
        for (size_t I = 1; I < LStarts.size(); ++I)
            LTrials.push_back(
                std::chrono::duration<double, std::milli>(LStarts[I] - LStarts[I - 1]).count());
        const double LMean =
            LTrials.empty() ? 0
                            : std::accumulate(LTrials.begin(), LTrials.end(), 0.0) / LTrials.size();
        AState.counters["trials"] = static_cast<double>(LStarts.size());
        AState.counters["trial_ms_mean"] = LMean;
        AState.counters["trial_ms_max"] =
            LTrials.empty() ? 0 : *std::max_element(LTrials.begin(), LTrials.end());
        AState.counters["vs_1020ms_floor"] = LMean / 1020.0;
        AState.counters["search_s"] = std::chrono::duration<double>(LEnd - LBegin).count();
    }
    ShutDownUnits();
}
BENCHMARK(BM_UnsuccessfulSearch)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
