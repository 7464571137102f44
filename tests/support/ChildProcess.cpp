#include "ChildProcess.h"

#include "platform/System.h"

std::string OwnProgramPath() {
    const std::u8string LPath = GetExecutablePath().u8string();
    return std::string(LPath.begin(), LPath.end());
}
