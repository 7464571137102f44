#include "SimProcess.h"

#include <stdexcept>

TSimProcess::TSimProcess(const std::vector<std::string>& AArgs, int ATimeoutMs) {
    if (!FChild.Start(SCALEPROBE_SIM_PATH, AArgs,
                      {TChildStream::csInherit, TChildStream::csPipe, TChildStream::csPipe}))
        throw std::runtime_error("cannot start " SCALEPROBE_SIM_PATH);
    // The first line of standard output is the port path.
    const std::string& LOut = FChild.Output();
    FChild.ReadUntil([&] { return LOut.find('\n') != std::string::npos; }, ATimeoutMs);
    if (LOut.find('\n') == std::string::npos) {
        FChild.Stop(SIGKILL);
        throw std::runtime_error("simulator printed no port: " + FChild.Errors());
    }
    FPortPath = LOut.substr(0, LOut.find('\n'));
}
