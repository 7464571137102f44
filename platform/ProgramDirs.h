// Where a program keeps its INI file and its log folder: beside the
// executable wherever that folder can be written. An installed program on
// Linux cannot write there; it then uses the user's XDG folders instead.
// On Windows the folder beside the executable is always used.
#pragma once

#include <filesystem>
#include <functional>

struct TProgramDirs {
    std::filesystem::path ConfigDir; // holds the INI file
    std::filesystem::path StateDir;  // holds the log folder
};

// One environment variable; null when it is not set.
using TGetEnv = std::function<const char*(const char*)>;

// The rule, for a program in AExeDir: AExeDir itself when AExeDirWritable
// says so (asked only on Linux); otherwise $XDG_CONFIG_HOME/scaleprobe and
// $XDG_STATE_HOME/scaleprobe, with
// ~/.config and ~/.local/state for variables that are unset or not absolute.
// Without any home folder the executable's folder stays.
TProgramDirs ProgramDirsFor(const std::filesystem::path& AExeDir,
                            const std::function<bool()>& AExeDirWritable, const TGetEnv& AGetEnv);

// Whether a file can be created in ADir right now, judged by creating one
// (and removing it again): permission bits, read-only mounts and missing
// folders all count as they really are.
bool IsDirWritable(const std::filesystem::path& ADir);

// Tests replace the check of the executable's folder; an empty one restores
// IsDirWritable.
void SetDirWritableCheck(std::function<bool(const std::filesystem::path&)> ACheck);

// The folders of the running executable, judged anew at each call.
TProgramDirs ProgramDirs();
// The folder for the INI file of the running executable.
std::filesystem::path ConfigDir();
// The folder that holds the log folder; a fallback folder is made as needed
// (private to the user).
std::filesystem::path LogBaseDir();

// Backend: makes ADir with its missing parents, private to the user.
void PlatformMakeStateDir(const std::filesystem::path& ADir);
