#include "Entry.h"

std::FILE* OpenAppendFile(const std::string& AName) {
    return std::fopen(AName.c_str(), "a");
}

int main(int argc, char** argv) {
    return ViewerMain(argc, argv);
}
