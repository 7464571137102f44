#include "platform/System.h"

#include <mutex>

namespace {
std::mutex GHookLock;
std::function<void(const UnicodeString&)> GHook;
} // namespace

void OutputDebugStr(const UnicodeString& AText) {
    {
        std::lock_guard<std::mutex> L(GHookLock);
        if (GHook)
            GHook(AText);
    }
    PlatformOutputDebugStr(AText);
}

void SetDebugOutputHook(std::function<void(const UnicodeString&)> AHook) {
    std::lock_guard<std::mutex> L(GHookLock);
    GHook = std::move(AHook);
}

std::filesystem::path GetExecutableDir() {
    return GetExecutablePath().parent_path();
}
