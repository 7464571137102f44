// What each platform's entry point gives the viewer: its arguments in UTF-8,
// and files opened by UTF-8 names.
#pragma once

#include <cstdio>
#include <string>

int ViewerMain(int argc, char** argv);

// Opens a file for appending; null with errno set on failure.
std::FILE* OpenAppendFile(const std::string& AName);
