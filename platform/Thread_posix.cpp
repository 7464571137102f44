#include "platform/Thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

// Best effort: a nice value for the calling thread. Raising the priority needs
// privileges; without them the call fails and the thread keeps its priority.
void ApplyCurrentThreadPriority(TThreadPriority APriority) {
    int LNice = 0;
    switch (APriority) {
    case TThreadPriority::tpIdle:
        LNice = 19;
        break;
    case TThreadPriority::tpLowest:
        LNice = 10;
        break;
    case TThreadPriority::tpLower:
        LNice = 5;
        break;
    case TThreadPriority::tpNormal:
        return;
    case TThreadPriority::tpHigher:
        LNice = -5;
        break;
    case TThreadPriority::tpHighest:
        LNice = -10;
        break;
    case TThreadPriority::tpTimeCritical:
        LNice = -15;
        break;
    }
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), LNice);
}
