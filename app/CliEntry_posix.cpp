// scaleprobe-cli's entry point on Linux.
#include "app/CliMain.h"
#include "app/Console.h"

int main(int argc, char** argv) {
    const TStandardStreams LStreams;
    return CliMain(std::vector<std::string>(argv + 1, argv + argc));
}
