// Writing a file so that a crash or a full disk never leaves half of it.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// Replaces AFile with ABytes through a temporary file beside it (written,
// flushed to disk, then renamed over the old one), so that the file is
// either the old one or the new one whatever happens. An existing file keeps
// its permissions; a new one gets those a plain create would give it. A
// symbolic link stays: the file it names is replaced. False with AError set
// when it could not; AFile is then untouched. One file per platform.
bool ReplaceFileAtomically(const std::filesystem::path& AFile, std::string_view ABytes,
                           std::string& AError);
