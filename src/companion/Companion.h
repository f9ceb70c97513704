#pragma once

// The companion program: parses the command line, runs the command and ends the process
// with its exit status.
[[noreturn]] int runCompanion(int argc, char* argv[]);
