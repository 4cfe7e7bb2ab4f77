#include "cli/Cli.h"
#include "platform/System.h"

int main(int argc, char** argv) { return runStepwickCli(argc, argv, platform::systemFileSystem()); }
