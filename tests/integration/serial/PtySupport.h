// A pseudo-terminal whose master side the test owns, and a component on its
// slave side with what it received.
#pragma once

#include "platform/MessageLoop.h"
#include "serial/Comm.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

class TPty {
public:
    TPty() {
        FMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (FMaster >= 0 && ::grantpt(FMaster) == 0 && ::unlockpt(FMaster) == 0)
            FSlave = ::ptsname(FMaster);
    }
    ~TPty() { CloseMaster(); }
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;

    int Master() const { return FMaster; }
    UnicodeString SlaveName() const { return Utf8ToUnicode(FSlave); }
    const std::string& SlavePath() const { return FSlave; }
    void CloseMaster() {
        if (FMaster >= 0)
            ::close(FMaster);
        FMaster = -1;
    }
    // Writes all of AData (blocking).
    bool Send(const std::string& AData) {
        size_t LDone = 0;
        while (LDone < AData.size()) {
            const ssize_t LPut = ::write(FMaster, AData.data() + LDone, AData.size() - LDone);
            if (LPut <= 0)
                return false;
            LDone += static_cast<size_t>(LPut);
        }
        return true;
    }

private:
    int FMaster = -1;
    std::string FSlave;
};

inline int CountEntries(const char* ADir) {
    int LCount = 0;
    if (DIR* LDir = ::opendir(ADir)) {
        while (dirent* LEntry = ::readdir(LDir))
            LCount += LEntry->d_name[0] != '.';
        ::closedir(LDir);
    }
    return LCount;
}

class PtyFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GE(FPty.Master(), 0);
        FComm = std::make_unique<TComm>();
        FComm->SetCommName(FPty.SlaveName());
        FComm->SetOnReceiveData([this](TObject*, const uint8_t* ABuffer, uint16_t ALen) {
            FBlocks.emplace_back(reinterpret_cast<const char*>(ABuffer), ALen);
            FReceived.append(reinterpret_cast<const char*>(ABuffer), ALen);
        });
        FComm->SetOnRequestHangup([this](TObject*) { ++FHangups; });
        FComm->SetOnSendDataEmpty([this](TObject*) { ++FEmpties; });
    }
    void TearDown() override { FComm.reset(); }

    bool PumpUntil(const std::function<bool()>& ACondition, uint32_t AMs = 10000) {
        return FLoop.RunUntil(ACondition, AMs);
    }
    void PumpFor(uint32_t AMs) {
        FLoop.RunUntil([] { return false; }, AMs);
    }

    THeadlessLoop FLoop;
    TPty FPty;
    std::unique_ptr<TComm> FComm;
    std::vector<std::string> FBlocks;
    std::string FReceived;
    int FHangups = 0;
    int FEmpties = 0;
};
