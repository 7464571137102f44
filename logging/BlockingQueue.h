// A bounded blocking queue: one lock, a not-empty and a not-full condition.
// Waiters are woken after the lock has been left.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

enum TWaitResult { wrSignaled, wrTimeout };

template <class T> class TBlockingQueue {
public:
    // Time-outs in milliseconds; a negative one waits without limit.
    explicit TBlockingQueue(size_t AQueueDepth, int32_t APushTimeout = -1, int32_t APopTimeout = -1)
        : FQueue(AQueueDepth ? AQueueDepth : 1), FPushTimeout(APushTimeout),
          FPopTimeout(APopTimeout) {}
    ~TBlockingQueue() { DoShutDown(); }
    TBlockingQueue(const TBlockingQueue&) = delete;
    TBlockingQueue& operator=(const TBlockingQueue&) = delete;

    // Stores a copy when there is room. A shut-down queue stores nothing and
    // still gives wrSignaled.
    TWaitResult PushItem(const T& AItem) {
        {
            std::unique_lock<std::mutex> L(FQueueLock);
            auto LRoom = [this] { return FQueueSize < FQueue.size() || FShutDown; };
            if (!Wait(FQueueNotFull, L, FPushTimeout, LRoom))
                return wrTimeout;
            if (FShutDown)
                return wrSignaled;
            FQueue[(FQueueOffset + FQueueSize) % FQueue.size()] = AItem;
            ++FQueueSize;
            ++FTotalItemsPushed;
        }
        FQueueNotEmpty.notify_one();
        return wrSignaled;
    }

    // Takes the oldest record. A shut-down, empty queue gives wrSignaled with
    // AItem cleared; a shut-down queue still hands out what it holds.
    TWaitResult PopItem(T& AItem) {
        AItem = T{};
        {
            std::unique_lock<std::mutex> L(FQueueLock);
            auto LHasItem = [this] { return FQueueSize > 0 || FShutDown; };
            if (!Wait(FQueueNotEmpty, L, FPopTimeout, LHasItem))
                return wrTimeout;
            if (FQueueSize == 0)
                return wrSignaled; // shut down and empty
            AItem = std::move(FQueue[FQueueOffset]);
            FQueue[FQueueOffset] = T{};
            --FQueueSize;
            FQueueOffset = (FQueueOffset + 1) % FQueue.size();
            ++FTotalItemsPopped;
        }
        FQueueNotFull.notify_one();
        return wrSignaled;
    }

    // Releases every waiter; from now on nothing is stored.
    void DoShutDown() {
        {
            std::lock_guard<std::mutex> L(FQueueLock);
            FShutDown = true;
        }
        FQueueNotFull.notify_all();
        FQueueNotEmpty.notify_all();
    }

    size_t Count() const {
        std::lock_guard<std::mutex> L(FQueueLock);
        return FQueueSize;
    }
    uint64_t TotalItemsPushed() const {
        std::lock_guard<std::mutex> L(FQueueLock);
        return FTotalItemsPushed;
    }
    uint64_t TotalItemsPopped() const {
        std::lock_guard<std::mutex> L(FQueueLock);
        return FTotalItemsPopped;
    }

private:
    template <class P>
    static bool Wait(std::condition_variable& ACond, std::unique_lock<std::mutex>& L,
                     int32_t ATimeout, P APredicate) {
        if (ATimeout < 0) {
            ACond.wait(L, APredicate);
            return true;
        }
        return ACond.wait_for(L, std::chrono::milliseconds(ATimeout), APredicate);
    }

    std::vector<T> FQueue;
    size_t FQueueSize = 0;
    size_t FQueueOffset = 0;
    std::condition_variable FQueueNotEmpty;
    std::condition_variable FQueueNotFull;
    mutable std::mutex FQueueLock;
    bool FShutDown = false;
    int32_t FPushTimeout;
    int32_t FPopTimeout;
    uint64_t FTotalItemsPushed = 0;
    uint64_t FTotalItemsPopped = 0;
};
