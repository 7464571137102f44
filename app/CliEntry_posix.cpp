// scaleprobe-cli's entry point on Linux.
#include "app/CliMain.h"

int main(int argc, char** argv) {
    return CliMain(std::vector<std::string>(argv + 1, argv + argc));
}
