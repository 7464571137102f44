#include "serial/CommDriver.h"

#include <atomic>
#include <new>

namespace {
std::atomic<size_t> GLiveBlocks{0};
}

uint8_t* TCommDriver::AllocBlock(size_t ASize) {
    uint8_t* LBlock = new (std::nothrow) uint8_t[ASize]();
    if (LBlock)
        ++GLiveBlocks;
    return LBlock;
}

void FreeCommBlock(uint8_t* ABlock) {
    if (!ABlock)
        return;
    --GLiveBlocks;
    delete[] ABlock;
}

size_t LiveCommBlocks() {
    return GLiveBlocks.load();
}
