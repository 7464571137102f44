#include "ScratchDir.h"

#include "platform/System.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

TScratchDir::TScratchDir(const std::string& ATag) {
    static std::atomic<unsigned> GCount{0};
    const std::string LName = ATag + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                              std::to_string(++GCount) + "-" +
                              std::to_string(std::random_device{}() % 100000);
    FPath = fs::temp_directory_path() / LName;
    fs::remove_all(FPath);
    fs::create_directories(FPath);
    fs::permissions(FPath, fs::perms::owner_all);
}

TScratchDir::~TScratchDir() {
    std::error_code LIgnored;
    fs::remove_all(FPath, LIgnored);
}

fs::path TScratchDir::Write(const fs::path& AName, const std::string& ABytes) const {
    const fs::path LFile = FPath / AName;
    fs::create_directories(LFile.parent_path());
    std::ofstream(LFile, std::ios::binary) << ABytes;
    return LFile;
}

std::string ReadWholeFile(const fs::path& APath) {
    std::ifstream LIn(APath, std::ios::binary);
    return {std::istreambuf_iterator<char>(LIn), std::istreambuf_iterator<char>()};
}

std::vector<std::string> ReadFileLines(const fs::path& APath) {
    std::vector<std::string> LLines;
    std::ifstream LIn(APath, std::ios::binary);
    for (std::string LLine; std::getline(LIn, LLine);)
        LLines.push_back(LLine);
    return LLines;
}

TEnvScope::TEnvScope(const char* AName, const std::optional<std::string>& AValue) : FName(AName) {
    if (const char* LOld = std::getenv(AName))
        FOld = LOld;
    SetEnvironmentValue(AName, AValue);
}

TEnvScope::~TEnvScope() {
    SetEnvironmentValue(FName.c_str(), FOld);
}
