// A folder of the test's own under the system's temporary folder, readable
// only by this user and removed with everything in it at the end; and
// environment variables set for a scope.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class TScratchDir {
public:
    // A fresh, empty folder whose name starts with ATag.
    explicit TScratchDir(const std::string& ATag = "sp");
    ~TScratchDir();
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;

    const std::filesystem::path& Path() const { return FPath; }
    std::filesystem::path operator/(const std::filesystem::path& AName) const {
        return FPath / AName;
    }
    // Writes ABytes into the file AName (its folders made as needed).
    std::filesystem::path Write(const std::filesystem::path& AName,
                                const std::string& ABytes) const;

private:
    std::filesystem::path FPath;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadWholeFile(const std::filesystem::path& APath);
// Its lines, split at LF (a CR before it stays).
std::vector<std::string> ReadFileLines(const std::filesystem::path& APath);

// Sets (or, with no value, removes) a variable of this process's environment.
void SetEnvironmentValue(const char* AName, const std::optional<std::string>& AValue);

// A variable set for the length of a scope; afterwards it is as it was.
class TEnvScope {
public:
    TEnvScope(const char* AName, const std::optional<std::string>& AValue);
    ~TEnvScope();
    TEnvScope(const TEnvScope&) = delete;
    TEnvScope& operator=(const TEnvScope&) = delete;

private:
    std::string FName;
    std::optional<std::string> FOld;
};
