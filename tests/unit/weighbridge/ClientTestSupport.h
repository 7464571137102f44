// Helpers for the client tests: a loop, a log that can be read back, a
// configuration with a chosen minimum, and clients whose internals show.
#pragma once

#include "FrameTestSupport.h"
#include "config/UnitConfigReader.h"
#include "logging/UnitLogFile.h"
#include "platform/MessageLoop.h"
#include "weighbridge/UnitWeighBridgeClient_KeLi_D2008.h"
#include "weighbridge/UnitWeighBridgeClient_XK3168.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed afterwards.
class TTempDir {
public:
    TTempDir() {
        std::random_device LRandom;
        FPath = std::filesystem::temp_directory_path() /
                ("sp-wb-" + std::to_string(LRandom()) + std::to_string(LRandom()));
        std::filesystem::create_directories(FPath);
    }
    ~TTempDir() {
        std::error_code LErr;
        std::filesystem::remove_all(FPath, LErr);
    }
    const std::filesystem::path& Path() const { return FPath; }

private:
    std::filesystem::path FPath;
};

// GLogFile for the length of a test; Lines() ends the log and reads its file.
class TLogCapture {
public:
    TLogCapture() {
        FLog = std::make_unique<TLogFile>(FDir.Path());
        GLogFile = FLog.get();
    }
    ~TLogCapture() { Stop(); }

    // The texts of the lines of level ALevel ("Debug", "Error"), in order.
    std::vector<UnicodeString> Lines(const UnicodeString& ALevel) {
        Stop();
        std::vector<UnicodeString> LOut;
        const UnicodeString LPrefix = u"[" + ALevel + u"][";
        for (const auto& LEntry : std::filesystem::recursive_directory_iterator(FDir.Path())) {
            if (!LEntry.is_regular_file())
                continue;
            std::ifstream LIn(LEntry.path(), std::ios::binary);
            std::string LLine;
            while (std::getline(LIn, LLine)) {
                if (!LLine.empty() && LLine.back() == '\r')
                    LLine.pop_back();
                const UnicodeString LText = AnsiToUnicode(LLine);
                // "[Level][hh:nn:ss zzz]text"
                if (LText.rfind(LPrefix, 0) == 0 && LText.size() > LPrefix.size() + 13)
                    LOut.push_back(LText.substr(LPrefix.size() + 13));
            }
        }
        return LOut;
    }

private:
    void Stop() {
        if (!FLog)
            return;
        GLogFile = nullptr;
        FLog.reset();
    }

    TTempDir FDir;
    std::unique_ptr<TLogFile> FLog;
};

// A configuration whose MinValidWeight is AMin.
inline std::unique_ptr<TCfgReader> MakeCfgReader(const TTempDir& ADir, int AMin) {
    const auto LFile = ADir.Path() / ("min" + std::to_string(AMin) + ".ini");
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
