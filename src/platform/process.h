// What the program gets from the system it was started by: its arguments
// and where its standard output goes.
//
// Contract, for every system:
//  - Arguments gives the command line as UTF-8 strings, the program's name
//    first.
//  - ConnectOutput makes the program's standard output and error reach the
//    console it was started from, byte for byte as the game writes them.
// On POSIX systems Arguments is argv as it came and ConnectOutput does
// nothing. On Windows the game is a GUI program (no console window of its
// own): Arguments converts the wide command line (CommandLineToArgvW) to
// UTF-8; ConnectOutput attaches to the console of the program that started
// it, when there is one and the output is not already redirected to a file
// or a pipe, and puts standard output and error in binary mode, so that a
// line ends in "\n" there as elsewhere (a report line is the same bytes on
// every system).
#pragma once

#include <string>
#include <vector>

namespace platform {

std::vector<std::string> Arguments(int argc, char** argv);
void ConnectOutput();

}  // namespace platform
