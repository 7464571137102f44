// Writing one log line to a file, whole or not at all.
#pragma once

#include <filesystem>
#include <string_view>

// Appends ALine to AFileName in one write, making the file when it is
// missing; a file that is there is never emptied (another instance of the
// program may have just begun it). On a short or failed write the file is
// cut back to its length before the line. Error is 0, or the system's error number (a short write
// without one counts as ENOSPC); Opened tells whether the file could be opened.
struct TLineWrite {
    int Error = 0;
    bool Opened = false;
};
TLineWrite WriteWholeLine(const std::filesystem::path& AFileName, std::string_view ALine);
