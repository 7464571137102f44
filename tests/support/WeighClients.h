// The weighbridge clients as their tests see them: a configuration with a
// chosen minimum, clients whose internals show, and frames.
#pragma once

#include "LogCapture.h"
#include "TestFrames.h"
#include "config/UnitConfigReader.h"
#include "platform/MessageLoop.h"
#include "weighbridge/UnitWeighBridgeClient_KeLi_D2008.h"
#include "weighbridge/UnitWeighBridgeClient_XK3168.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

// A configuration whose MinValidWeight is AMin.
inline std::unique_ptr<TCfgReader> MakeCfgReader(const std::filesystem::path& ADir, int AMin) {
    const auto LFile = ADir / ("min" + std::to_string(AMin) + ".ini");
    std::ofstream(LFile) << "[Weight]\nMinValidWeight=" << AMin << "\n";
    return std::make_unique<TCfgReader>(LFile);
}

// GCfgReader for the length of a scope.
class TCfgScope {
public:
    explicit TCfgScope(TCfgReader* AReader) { GCfgReader = AReader; }
    ~TCfgScope() { GCfgReader = nullptr; }
};

// A client of protocol TBase whose protected parts the tests may reach.
template <class TBase> class TOpenClient : public TBase {
public:
    explicit TOpenClient(int32_t ACount = 10) : TBase(ACount) {
        this->SetOnNewWeightNotify([this](double AValue) { Notified.push_back(AValue); });
    }
    using TBase::AddAWeight;
    using TBase::AddAWeightInMotion;
    using TBase::Comm;
    using TBase::OnMyReceiveError;

    void Receive(const std::vector<uint8_t>& AChunk) {
        this->OnMyCommReceiveData(nullptr, AChunk.data(), static_cast<uint16_t>(AChunk.size()));
    }
    uint32_t ReceivedSize() const { return this->FReceivedSize; }
    bool TailIsZero() const {
        for (uint32_t I = this->FReceivedSize; I < CReceivedBufferLen; ++I)
            if (this->FReceivedBuffer[I] != 0)
                return false;
        return true;
    }

    std::vector<double> Notified;
};

using TOpenKeli = TOpenClient<TKeliD2008Client>;
using TOpenXK = TOpenClient<TXK3168Client>;

inline std::vector<uint8_t> KeliFrameBytes(const char* ADigits, char ADot = '0') {
    return KeliTestFrame(ADigits, ADot);
}
