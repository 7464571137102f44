#include "Entry.h"

std::FILE* OpenAppendFile(const std::string& AName) {
    return std::fopen(AName.c_str(), "a");
}

// A terminal shows the bytes in its own character set, which the records'
// code page is here.
bool WriteText(std::FILE* AFile, const std::string& AText, bool) {
    return std::fwrite(AText.data(), 1, AText.size(), AFile) == AText.size();
}

int main(int argc, char** argv) {
    return ViewerMain(argc, argv);
}
