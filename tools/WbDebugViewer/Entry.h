// What each platform's entry point gives the viewer: its arguments in UTF-8,
// files opened by UTF-8 names, and text written to a console.
#pragma once

#include <cstdio>
#include <string>

int ViewerMain(int argc, char** argv);

// Opens a file for appending; null with errno set on failure.
std::FILE* OpenAppendFile(const std::string& AName);

// Writes AText to AFile: to a console as UTF-16 (Windows), elsewhere as the
// bytes it is. AIsAnsi: the text is in the 8-bit code page the records use,
// else UTF-8. False when it could not be written.
bool WriteText(std::FILE* AFile, const std::string& AText, bool AIsAnsi);
