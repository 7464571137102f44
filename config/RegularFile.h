// Reading a configuration file without trusting what sits at its path: a
// FIFO, a device or a folder is named, never opened for waiting or read
// without end. One file per platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

enum class TFileRead : uint8_t {
    frRead,       // a regular file (links followed); Bytes holds its start
    frMissing,    // nothing at the path (or a link to nothing)
    frNotRegular, // a folder, FIFO, device or socket; Error says which
    frFailed,     // it could not be read; Error says why
};

struct TFileBytes {
    TFileRead Result = TFileRead::frFailed;
    std::string Bytes;
    // The file was longer than asked for: Bytes holds the first AMaxBytes.
    bool Truncated = false;
    uint64_t Size = 0; // the file's size as the system tells it
    std::string Error; // UTF-8
};

// Reads at most AMaxBytes of the regular file APath.
TFileBytes ReadRegularFile(const std::filesystem::path& APath, size_t AMaxBytes);
