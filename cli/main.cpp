#include "cli/Cli.h"

int main(int argc, char** argv) { return runStepwickCli(argc, argv, platform::systemFileSystem()); }
