#include "platform/VirtualPorts.h"

#include "platform/System.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <system_error>

// One file per announcement, named "<pid>-<n>.port", holding the device path
// in UTF-8 on its first line.
namespace {

namespace fs = std::filesystem;

std::string RecordStem(uint32_t AProcessId) {
    return std::to_string(AProcessId) + "-";
}

bool ParseRecordName(const std::string& AName, uint32_t& AProcessId) {
    const size_t LDash = AName.find('-');
    if (LDash == 0 || LDash == std::string::npos || AName.size() < 5 ||
        AName.compare(AName.size() - 5, 5, ".port") != 0)
        return false;
    long long LPid = 0;
    if (!TryStrToInt(Utf8ToUnicode(AName.substr(0, LDash)), LPid) || LPid <= 0 ||
        LPid > 0xFFFFFFFFll)
        return false;
    AProcessId = static_cast<uint32_t>(LPid);
    return true;
}

bool ReadRecord(const fs::path& AFile, std::string& APath) {
    return ReadRecordLine(AFile, APath) && !APath.empty();
}

// The calling process's records of APath.
std::vector<fs::path> OwnRecords(const fs::path& ADir, const std::string& APath) {
    std::vector<fs::path> LFound;
    std::error_code LErr;
    const std::string LStem = RecordStem(GetCurrentProcessId());
    for (const auto& LEntry : fs::directory_iterator(ADir, LErr)) {
        const std::string LName = LEntry.path().filename().string();
        std::string LPath;
        if (LName.rfind(LStem, 0) == 0 && ReadRecord(LEntry.path(), LPath) && LPath == APath)
            LFound.push_back(LEntry.path());
    }
    return LFound;
}

} // namespace

bool AnnounceVirtualPort(const UnicodeString& APath) {
    const fs::path LDir = VirtualPortsDir(true);
    if (LDir.empty() || APath.empty())
        return false;
    const std::string LPath = UnicodeToUtf8(APath);
    if (!OwnRecords(LDir, LPath).empty())
        return true;
    const std::string LStem = RecordStem(GetCurrentProcessId());
    std::error_code LErr;
    for (int LSeq = 0; LSeq < 1000; ++LSeq) {
        const fs::path LFile = LDir / (LStem + std::to_string(LSeq) + ".port");
        if (fs::exists(LFile, LErr))
            continue;
        // Written under another name first, so a reader never sees half a record.
        const fs::path LTemp = LDir / (LStem + std::to_string(LSeq) + ".tmp");
        {
            std::ofstream LOut(LTemp, std::ios::trunc);
            LOut << LPath << '\n';
            if (!LOut.flush())
                return false;
        }
        fs::rename(LTemp, LFile, LErr);
        if (LErr) {
            fs::remove(LTemp, LErr);
            return false;
        }
        return true;
    }
    return false;
}

void WithdrawVirtualPort(const UnicodeString& APath) {
    const fs::path LDir = VirtualPortsDir(false);
    if (LDir.empty())
        return;
    std::error_code LErr;
    for (const fs::path& LFile : OwnRecords(LDir, UnicodeToUtf8(APath)))
        fs::remove(LFile, LErr);
}

std::vector<UnicodeString> ListVirtualPorts() {
    std::vector<UnicodeString> LPorts;
    const fs::path LDir = VirtualPortsDir(false);
    if (LDir.empty())
        return LPorts;
    std::error_code LErr;
    std::vector<fs::path> LStale;
    for (const auto& LEntry : fs::directory_iterator(LDir, LErr)) {
        uint32_t LPid = 0;
        std::string LPath;
        if (!ParseRecordName(LEntry.path().filename().string(), LPid))
            continue;
        if (!VirtualPortOwnerAlive(LPid)) {
            LStale.push_back(LEntry.path());
            continue;
        }
        if (ReadRecord(LEntry.path(), LPath) && IsTerminalDevicePath(LPath))
            LPorts.push_back(Utf8ToUnicode(LPath));
    }
    for (const fs::path& LFile : LStale)
        fs::remove(LFile, LErr);
    std::sort(LPorts.begin(), LPorts.end());
    LPorts.erase(std::unique(LPorts.begin(), LPorts.end()), LPorts.end());
    return LPorts;
}
