// Which processes have a terminal device open, as far as /proc shows them.
// It tells a port that another program holds for exclusive use from one
// whose exclusive-use mark outlived the program that set it: a
// pseudo-terminal keeps the mark until the pair is gone, also when the
// program that set it was killed.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

struct TPortHolder {
    int Pid = 0;
    std::string Name; // the command name
};

struct TPortHolders {
    std::vector<TPortHolder> Holders;
    // Some process's descriptors could not be looked at (another user's, for
    // one who is not root): a holder may be missing from the list.
    bool Partial = false;
};

// The processes with a descriptor on the character device ADevice; the
// calling process's descriptor AOwnFd (-1 for none) does not count.
TPortHolders FindPortHolders(dev_t ADevice, int AOwnFd);

// What is known of a port marked for exclusive use, after a search for its
// holders: who holds it, or that no holder was found (and among whom).
std::string ExclusiveUseReason(const TPortHolders& AFound);
