// The receive path allocates nothing: chunks in, frames cut, weights judged.
#include "tests/support/WeighClients.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> GAllocations{0};
} // namespace

// Not inlined: GCC would otherwise pair an inlined new-expression with the
// free() inside delete and report a mismatch.
[[gnu::noinline]] void* operator new(std::size_t ASize) {
    ++GAllocations;
    if (void* LPtr = std::malloc(ASize ? ASize : 1))
        return LPtr;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* APtr) noexcept {
    std::free(APtr);
}
[[gnu::noinline]] void operator delete(void* APtr, std::size_t) noexcept {
    std::free(APtr);
}

namespace {

std::vector<uint8_t> KeliChunk(int AFirst, int AFrames) {
    std::vector<uint8_t> LOut;
    for (int I = 0; I < AFrames; ++I) {
        const std::string LDigits = std::to_string(100000 + (AFirst + I) % 900000);
        const auto LFrame = KeliFrameBytes(LDigits.c_str(), '1');
        LOut.insert(LOut.end(), LFrame.begin(), LFrame.end());
    }
    return LOut;
}

std::vector<uint8_t> XKChunk(int AFirst, int AFrames) {
    std::vector<uint8_t> LOut;
    for (int I = 0; I < AFrames; ++I) {
        const int LValue = (AFirst + I) % 10000;
        LOut.insert(LOut.end(),
                    {0xFF, 0x02, static_cast<uint8_t>((LValue / 10 % 10) << 4 | LValue % 10),
                     static_cast<uint8_t>((LValue / 1000 % 10) << 4 | LValue / 100 % 10), 0x00});
    }
    return LOut;
}

// Feeds the chunks cut at odd places, so frames split across calls.
template <class TClient> long AllocationsWhileReceiving(const std::vector<uint8_t>& AStream) {
    TClient LClient(3);
    long LWeights = 0;
    LClient.SetOnNewWeightNotify([&](double) { ++LWeights; });
    LClient.Receive(std::vector<uint8_t>(AStream.begin(), AStream.begin() + 40)); // warm-up
    const long LBefore = GAllocations.load();
    for (size_t LPos = 40; LPos < AStream.size(); LPos += 23) {
        const size_t LLength = std::min<size_t>(23, AStream.size() - LPos);
        LClient.OnMyCommReceiveDataForTest(AStream.data() + LPos, static_cast<uint16_t>(LLength));
    }
    const long LCount = GAllocations.load() - LBefore;
    EXPECT_GT(LWeights, 500);
    EXPECT_EQ(LClient.WeightList().size(), static_cast<size_t>(CMaxLenWeightList));
    return LCount;
}

template <class TBase> class TRawClient : public TOpenClient<TBase> {
public:
    using TOpenClient<TBase>::TOpenClient;
    // Straight to the handler, without building a vector per chunk.
    void OnMyCommReceiveDataForTest(const uint8_t* AData, uint16_t ALength) {
        this->OnMyCommReceiveData(nullptr, AData, ALength);
    }
};

TEST(ReceiveAllocationTest, KeliReceivePathDoesNotAllocate) {
    THeadlessLoop LLoop;
    // Distinct weights fill the history to its cap and then shift it.
    auto LStream = KeliChunk(0, 600);
    const auto LRepeats = KeliChunk(7, 1);
    for (int I = 0; I < 20; ++I)
        LStream.insert(LStream.end(), LRepeats.begin(), LRepeats.end());
    EXPECT_EQ(AllocationsWhileReceiving<TRawClient<TKeliD2008Client>>(LStream), 0);
}

TEST(ReceiveAllocationTest, XK3168ReceivePathDoesNotAllocate) {
    THeadlessLoop LLoop;
    auto LStream = XKChunk(0, 600);
    LStream.insert(LStream.end(), {0xFF, 0x02, 0xAA, 0x00, 0x00}); // an invalid frame too
    const auto LMore = XKChunk(600, 100);
    LStream.insert(LStream.end(), LMore.begin(), LMore.end());
    EXPECT_EQ(AllocationsWhileReceiving<TRawClient<TXK3168Client>>(LStream), 0);
}

} // namespace
