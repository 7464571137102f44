#include "ViewerProcess.h"

#include <map>
#include <memory>
#include <mutex>

namespace {
std::mutex GLock;
std::map<int, std::unique_ptr<TChildProcess>> GChildren;

// A process this test started, or one it may wait for (a viewer that the
// channel started); null when there is none of that id.
TChildProcess* Child(int APid) {
    std::lock_guard<std::mutex> L(GLock);
    auto& LChild = GChildren[APid];
    if (!LChild) {
        LChild = std::make_unique<TChildProcess>();
        if (!LChild->Adopt(APid)) {
            GChildren.erase(APid);
            return nullptr;
        }
    }
    return LChild.get();
}

void Forget(int APid) {
    std::lock_guard<std::mutex> L(GLock);
    GChildren.erase(APid);
}
} // namespace

int SpawnProgram(const std::string& AProgram, const std::vector<std::string>& AArgs,
                 const TChildOptions& AOptions) {
    auto LChild = std::make_unique<TChildProcess>();
    if (!LChild->Start(AProgram, AArgs, AOptions))
        return -1;
    const int LPid = LChild->Pid();
    std::lock_guard<std::mutex> L(GLock);
    GChildren[LPid] = std::move(LChild);
    return LPid;
}

int WaitExit(int APid, int ASeconds) {
    TChildProcess* LChild = APid > 0 ? Child(APid) : nullptr;
    const int LCode = LChild ? LChild->Wait(ASeconds * 1000) : -1;
    Forget(APid);
    return LCode;
}

void KillProgram(int APid) {
    if (TChildProcess* LChild = Child(APid))
        LChild->Kill();
    Forget(APid);
    EndStarterOf(APid);
}

bool PauseProgram(int APid) {
    TChildProcess* LChild = Child(APid);
    return LChild && LChild->Pause();
}

bool ResumeProgram(int APid) {
    TChildProcess* LChild = Child(APid);
    return LChild && LChild->Resume();
}
