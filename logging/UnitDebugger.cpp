#include "logging/UnitDebugger.h"

#include <mutex>

namespace {
std::mutex GChannelClassLock;
TDebugChannelClass GDebugChannelClass;
} // namespace

void SetDebugChannelClass(TDebugChannelClass AClass) {
    std::lock_guard<std::mutex> L(GChannelClassLock);
    GDebugChannelClass = std::move(AClass);
}

TDebugChannelClass GetDebugChannelClass() {
    std::lock_guard<std::mutex> L(GChannelClassLock);
    if (!GDebugChannelClass)
        return [](bool IsAutoFlush) { return std::make_unique<TDebugChannel>(IsAutoFlush); };
    return GDebugChannelClass;
}
