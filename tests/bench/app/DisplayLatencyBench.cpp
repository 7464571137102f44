// Display latency: from writing an indicator frame on the line to the LED
// display's bitmap showing that weight, after a successful search.
#include "app/MainForm.h"
#include "tests/support/Pty.h"
#include "weighbridge/UnitKeliD2008Frame.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using TClock = std::chrono::steady_clock;
constexpr int CFrames = 500;
constexpr int CFirstWeight = 100000; // six digits: each frame a new caption

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(TClock::now().time_since_epoch())
        .count();
}

// The STX frame: 0x02, sign, six digits, decimals, the check's two hex
// digits, 0x03.
std::array<char, 12> KeliFrame(int AValue) {
    std::array<char, 12> LFrame{0x02, '+', '0', '0', '0', '0', '0', '0', '0', '0', '0', 0x03};
    for (int I = 7; I >= 2; --I, AValue /= 10)
        LFrame[static_cast<size_t>(I)] = static_cast<char>('0' + AValue % 10);
    uint8_t LCheck[2];
    KeliD2008Check(reinterpret_cast<const uint8_t*>(LFrame.data()), LCheck);
    LFrame[9] = static_cast<char>(LCheck[0]);
    LFrame[10] = static_cast<char>(LCheck[1]);
    return LFrame;
}

// Notes the time at which each new picture of the display is shown.
class TTimingControls : public THeadlessControls {
public:
    std::unique_ptr<TControlPeer> CreatePeer(TControl& AControl) override {
        if (dynamic_cast<TGraphicControl*>(&AControl))
            return std::make_unique<TPeer>(*this);
        return nullptr;
    }
    const TLEDDisplay* Display = nullptr;
    std::vector<std::pair<int64_t, UnicodeString>> Shown;

private:
    class TPeer : public TControlPeer {
    public:
        explicit TPeer(TTimingControls& AOwner) : FOwner(AOwner) {}
        void Changed(TControlChange AWhat) override {
            if (AWhat == TControlChange::ccPicture && FOwner.Display)
                FOwner.Shown.emplace_back(NowNs(), FOwner.Display->Caption());
        }

    private:
        TTimingControls& FOwner;
    };
};

void BM_DisplayLatency(benchmark::State& AState) {
    const TPty LPty;
    if (!LPty.IsOpen()) {
        AState.SkipWithError("no pseudo-terminal");
        return;
    }
    const UnicodeString LPort = LPty.SlaveName();
    for (auto _ : AState) {
        THeadlessLoop LLoop;
        TTimingControls LControls;
        SetControlBackend(&LControls);
        TForm1 LForm;
        LControls.Display = LForm.LEDDisplay1.get();
        LForm.ComboBox1->SetItems({LPort});
        LForm.ComboBox1->SetItemIndex(0);
        LForm.Show();

        std::vector<std::atomic<int64_t>> LWritten(CFrames);
        std::mutex LLock;
        std::condition_variable LWake;
        bool LStop = false;
        std::thread LWriter([&] {
            // Frames for the search first, then the timed ones, 50 a second.
            std::unique_lock<std::mutex> L(LLock);
            for (int I = -40; I < CFrames && !LStop; ++I) {
                const auto LFrame = KeliFrame(I < 0 ? 1 : CFirstWeight + I);
                if (I >= 0)
                    LWritten[static_cast<size_t>(I)].store(NowNs());
                if (!LPty.Send(std::string(LFrame.begin(), LFrame.end())))
                    break;
                LWake.wait_for(L, std::chrono::milliseconds(20), [&] { return LStop; });
            }
        });
        LForm.Button1->Click();
        const UnicodeString LLast = IntToStr(CFirstWeight + CFrames - 1);
        LLoop.RunUntil([&] { return LForm.LEDDisplay1->Caption() == LLast; }, 60000);
        {
            std::lock_guard<std::mutex> L(LLock);
            LStop = true;
        }
        LWake.notify_all();
        LWriter.join();

        std::vector<double> LLatencies;
        for (const auto& [LTime, LCaption] : LControls.Shown) {
            long long LValue = 0;
            if (!TryStrToInt(LCaption, LValue) || LValue < CFirstWeight)
                continue;
            const int64_t LSent = LWritten[static_cast<size_t>(LValue - CFirstWeight)].load();
            LLatencies.push_back(static_cast<double>(LTime - LSent) / 1e6);
        }
        std::sort(LLatencies.begin(), LLatencies.end());
        auto LAt = [&](double AQ) {
            return LLatencies.empty()
                       ? 0.0
                       : LLatencies[static_cast<size_t>(AQ * (LLatencies.size() - 1))];
        };
        AState.counters["samples"] = static_cast<double>(LLatencies.size());
        AState.counters["median_ms"] = LAt(0.5);
        AState.counters["p99_ms"] = LAt(0.99);
        AState.counters["max_ms"] = LAt(1.0);
        AState.counters["found"] =
            LControls.Messages().empty() ? 0 : LControls.Messages()[0] == u"找到仪表";
        SetControlBackend(nullptr);
    }
}
BENCHMARK(BM_DisplayLatency)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
