#include "platform/System.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

uint32_t GetCurrentProcessId() {
    return static_cast<uint32_t>(getpid());
}

uint32_t GetCurrentThreadId() {
    return static_cast<uint32_t>(syscall(SYS_gettid));
}

std::filesystem::path GetExecutablePath() {
    std::error_code LError;
    auto LPath = std::filesystem::read_symlink("/proc/self/exe", LError);
    if (LError)
        return std::filesystem::current_path() / "scaleprobe";
    return LPath;
}

void YieldThread() {
    sched_yield();
}

void PlatformOutputDebugStr(const UnicodeString& AText) {
    static const bool LEnabled = [] {
        const char* L = std::getenv("SCALEPROBE_DEBUG_OUTPUT");
        return L && std::strcmp(L, "1") == 0;
    }();
    if (!LEnabled)
        return;
    const std::string LLine = UnicodeToUtf8(AText) + "\n";
    (void)!write(STDERR_FILENO, LLine.data(), LLine.size());
}

std::string SystemErrorText(unsigned long ACode) {
    const char* LText = std::strerror(static_cast<int>(ACode));
    return LText && *LText ? LText : "error " + std::to_string(ACode);
}
