// Voluntary context switches of all threads of this process so far: each is
// a wake-up after a wait. Backend per platform; -1 where unknown.
#pragma once

long long ProcessWakeups();
