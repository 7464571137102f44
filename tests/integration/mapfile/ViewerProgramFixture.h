// The fixture of the channel's tests against the real WbDebugViewer program.
#pragma once

#include "ViewerProcess.h"
#include "logging/UnitLogFile.h"
#include "logging/UnitMapFileChannel.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <fstream>

inline std::string EscapedAnsi(const UnicodeString& AText) {
    TViewerRecord LRecord;
    LRecord.Msg = UnicodeToAnsi(AText);
    return Fields(FormatRecordLine(LRecord)).back();
}

inline void WriteScript(const std::filesystem::path& APath, const std::string& ABody) {
    std::filesystem::create_directories(APath.parent_path());
    std::ofstream(APath) << "#!/bin/sh\n" << ABody;
    std::filesystem::permissions(APath, std::filesystem::perms::owner_all);
}

class ViewerProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseOwnObjectNames(::testing::UnitTest::GetInstance()->current_test_info()->name());
        IsolateViewerSetting(FDir.Path());
        SetDebugChannelClass(MakeMapFileChannel);
    }
    void TearDown() override {
        SetDebugChannelClass({});
        if (const int LPid = RunningViewerPid())
            StopViewer(LPid);
        RestoreViewerSetting();
        RemoveAllObjects();
    }

    // A stand-in for the viewer: notes its arguments, then runs the real one.
    void InstallStandIn(const std::filesystem::path& APath) {
        WriteScript(APath, "echo \"$@\" >> \"" + FArgs.string() + "\"\nexec \"" + CViewerProgram +
                               "\" \"$@\" --output \"" + FOut.string() + "\"\n");
    }

    std::vector<std::string> ReceivedTexts() const {
        std::vector<std::string> LTexts;
        for (const std::string& LLine : ReadFileLines(FOut))
            LTexts.push_back(Fields(LLine).back());
        return LTexts;
    }

    TScratchDir FDir{"mapfile-viewer"};
    std::filesystem::path FBin = FDir.Path() / "bin";
    std::filesystem::path FArgs = FDir.Path() / "args.txt";
    std::filesystem::path FOut = FDir.Path() / "out.txt";
};
