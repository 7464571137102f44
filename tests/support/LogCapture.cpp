#include "LogCapture.h"

#include "platform/System.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace {
// The log's files in the order of their names, which is the order of days.
std::vector<fs::path> LogFiles(const fs::path& ADir) {
    std::vector<fs::path> LFiles;
    std::error_code LError;
    for (const auto& LEntry : fs::recursive_directory_iterator(ADir / "log", LError))
        if (LEntry.is_regular_file())
            LFiles.push_back(LEntry.path());
    std::sort(LFiles.begin(), LFiles.end());
    return LFiles;
}
} // namespace

TLogCapture::TLogCapture() {
    FLog = std::make_unique<TLogFile>(FDir.Path());
    GLogFile = FLog.get();
}

void TLogCapture::Stop() {
    if (!FLog)
        return;
    GLogFile = nullptr;
    FLog.reset();
}

std::vector<UnicodeString> TLogCapture::Lines(const UnicodeString& ALevel) {
    Stop();
    std::vector<UnicodeString> LOut;
    const UnicodeString LPrefix = u"[" + ALevel + u"][";
    for (const fs::path& LFile : LogFiles(FDir.Path()))
        for (std::string LLine : ReadFileLines(LFile)) {
            if (!LLine.empty() && LLine.back() == '\r')
                LLine.pop_back();
            const UnicodeString LText = AnsiToUnicode(LLine);
            // "[Level][hh:nn:ss zzz]text"
            if (LText.rfind(LPrefix, 0) == 0 && LText.size() > LPrefix.size() + 13)
                LOut.push_back(LText.substr(LPrefix.size() + 13));
        }
    return LOut;
}

UnicodeString TLogCapture::Text() {
    Stop();
    std::string LText;
    for (const fs::path& LFile : LogFiles(FDir.Path()))
        LText += ReadWholeFile(LFile);
    return AnsiToUnicode(LText);
}

TDebugOutputCapture::TDebugOutputCapture() {
    SetDebugOutputHook([this](const UnicodeString& AText) {
        std::lock_guard<std::mutex> L(FLock);
        FLines.push_back(UnicodeToUtf8(AText));
    });
}

TDebugOutputCapture::~TDebugOutputCapture() {
    SetDebugOutputHook({});
}

std::vector<std::string> TDebugOutputCapture::Lines() const {
    std::lock_guard<std::mutex> L(FLock);
    return FLines;
}
