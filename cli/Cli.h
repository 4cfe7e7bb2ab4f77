#pragma once

#include "platform/FileSystem.h"

// stepwick-cli with its arguments, changing files through fs; returns the exit status.
int runStepwickCli(int argc, char** argv, platform::FileSystem& fs);
