#include "ThreadWakeups.h"

#include <filesystem>
#include <fstream>
#include <string>

long long ProcessWakeups() {
    std::error_code LError;
    long long LTotal = 0;
    for (const auto& LTask : std::filesystem::directory_iterator("/proc/self/task", LError)) {
        std::ifstream LStatus(LTask.path() / "status");
        std::string LLine;
        while (std::getline(LStatus, LLine))
            if (LLine.rfind("voluntary_ctxt_switches:", 0) == 0)
                LTotal += std::stoll(LLine.substr(LLine.find(':') + 1));
    }
    return LError ? -1 : LTotal;
}
