// What the process was started with, made safe before it opens anything.
#pragma once

namespace vardel::linuxos {

// Standard input, output and error that the program was started without are
// opened on /dev/null: otherwise the next descriptor the program opens (the
// serial port, a pipe of Qt's) would take the number and receive the debug
// lines. SIGPIPE is ignored: a debug line written to a pipe whose reader has
// gone is only lost, instead of ending the program in the middle of a run.
// Call it before anything opens a descriptor; returns true.
bool SettleSurroundings();

// The width in columns of the terminal that fd is; 0 when it is no terminal.
int TerminalColumns(int fd);

}  // namespace vardel::linuxos
