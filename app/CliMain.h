// The console front end's body, shared by the entry point of each platform.
#pragma once

#include <string>
#include <vector>

// Runs scaleprobe-cli with the arguments after the program name (UTF-8);
// returns the exit status.
int CliMain(const std::vector<std::string>& AArgs);
