// Writing keys into an INI file on disk without harm to it or to what else
// sits at its path.
#pragma once

#include "config/IniEdit.h"

#include <filesystem>
#include <string>
#include <string_view>

// Sets AValues in ASection of the INI file AFile (EditIniBytes), which is
// made when missing, and replaces the file atomically. Only a regular file
// (links followed) or a path where nothing is yet is written; a folder, FIFO
// or device is refused without being opened for waiting, and so is a file
// over CMaxIniFileBytes (the reader sees only its start, the editor would
// lose the rest). False with AError (UTF-8, naming the file) when nothing
// was written.
bool SaveIniValues(const std::filesystem::path& AFile, std::string_view ASection,
                   const TIniValues& AValues, std::string& AError);
