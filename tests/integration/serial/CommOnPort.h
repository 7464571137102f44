// A component on one port, with what it received, on a headless loop.
#pragma once

#include "platform/MessageLoop.h"
#include "serial/Comm.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CommOnPort : public ::testing::Test {
protected:
    // The component on the port AName, its events counted.
    void OpenOn(const UnicodeString& AName) {
        FComm = std::make_unique<TComm>();
        FComm->SetCommName(AName);
        FComm->SetOnReceiveData([this](TObject*, const uint8_t* ABuffer, uint16_t ALen) {
            FBlocks.emplace_back(reinterpret_cast<const char*>(ABuffer), ALen);
            FReceived.append(reinterpret_cast<const char*>(ABuffer), ALen);
        });
        FComm->SetOnRequestHangup([this](TObject*) { ++FHangups; });
        FComm->SetOnSendDataEmpty([this](TObject*) { ++FEmpties; });
    }
    void TearDown() override { FComm.reset(); }

    bool PumpUntil(const std::function<bool()>& ACondition, uint32_t AMs = 60000) {
        return FLoop.RunUntil(ACondition, AMs);
    }
    void PumpFor(uint32_t AMs) {
        FLoop.RunUntil([] { return false; }, AMs);
    }

    THeadlessLoop FLoop;
    std::unique_ptr<TComm> FComm;
    std::vector<std::string> FBlocks;
    std::string FReceived;
    int FHangups = 0;
    int FEmpties = 0;
};
