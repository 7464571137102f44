// Changes a few keys of an INI file's text and keeps everything else: every
// other line, comment and blank line, key order, letter case, line ends,
// the encoding and the byte-order mark stay byte for byte. Lines are read as the INI reader
// reads them, so the key changed is the one the reader would see.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

using TIniValues = std::vector<std::pair<std::string, std::string>>; // key, value (UTF-8)

// AText with each key of AValues set in ASection: the first line of that key
// in the section (the one the reader uses) gets the new value; a missing key
// goes after the section's last key line, a missing section at the end. New
// lines end as the file's first line does (CR LF in a file without one).
std::string SetIniValues(std::string_view AText, std::string_view ASection,
                         const TIniValues& AValues);

// The bytes of an INI file (UTF-8, or UTF-16 LE or BE after its byte-order
// mark) with AValues set as SetIniValues sets them, in the file's own
// encoding. False with AError when that cannot be done without damage: a
// value holds a control character (a line break would make lines of its
// own), or the bytes are no text of their encoding (UTF-16 without its mark).
bool EditIniBytes(std::string_view ABytes, std::string_view ASection, const TIniValues& AValues,
                  std::string& AOut, std::string& AError);
