#include "StopSignal.h"

#include <csignal>
#include <initializer_list>

namespace {
volatile std::sig_atomic_t GStop = 0;

extern "C" void OnStopSignal(int) {
    GStop = 1;
}
} // namespace

void InstallStopSignals() {
    struct sigaction LAction {};
    LAction.sa_handler = OnStopSignal;
    sigemptyset(&LAction.sa_mask);
    for (const int LSignal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(LSignal, &LAction, nullptr);
}

bool StopRequested() {
    return GStop != 0;
}
