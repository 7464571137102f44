#include "platform/Thread.h"

#include "platform/Windows_win32.h"

// Best effort: the calling thread's priority within its process class.
void ApplyCurrentThreadPriority(TThreadPriority APriority) {
    int LPriority = THREAD_PRIORITY_NORMAL;
    switch (APriority) {
    case TThreadPriority::tpIdle:
        LPriority = THREAD_PRIORITY_IDLE;
        break;
    case TThreadPriority::tpLowest:
        LPriority = THREAD_PRIORITY_LOWEST;
        break;
    case TThreadPriority::tpLower:
        LPriority = THREAD_PRIORITY_BELOW_NORMAL;
        break;
    case TThreadPriority::tpNormal:
        return;
    case TThreadPriority::tpHigher:
        LPriority = THREAD_PRIORITY_ABOVE_NORMAL;
        break;
    case TThreadPriority::tpHighest:
        LPriority = THREAD_PRIORITY_HIGHEST;
        break;
    case TThreadPriority::tpTimeCritical:
        LPriority = THREAD_PRIORITY_TIME_CRITICAL;
        break;
    }
    (void)SetThreadPriority(GetCurrentThread(), LPriority);
}
