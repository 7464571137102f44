// A component on the slave side of a pseudo-terminal whose master side the
// test owns, with what it received.
#pragma once

#include "platform/MessageLoop.h"
#include "serial/Comm.h"
#include "tests/support/Pty.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class PtyFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FPty.IsOpen());
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
    // As the kernel makes it: what the component sets up shows.
    TPty FPty{TPty::TLine::plAsMade};
    std::unique_ptr<TComm> FComm;
    std::vector<std::string> FBlocks;
    std::string FReceived;
    int FHangups = 0;
    int FEmpties = 0;
};
