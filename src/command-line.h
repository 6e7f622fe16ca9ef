// Splitting a Windows command line into arguments. A Windows process receives
// its command line as one string; the tool splits it itself so that the rules
// hold whatever C runtime it is linked with. Pure code.
#pragma once

#include <cstddef>

// Splits `line` into arguments. The first is the program's name, which ends
// at the first blank or tab outside double quotes; its quotes are dropped and
// its backslashes kept, as the system reads a program's path. The arguments
// after it follow these rules:
// - runs of blanks and tabs separate arguments;
// - a double quote opens or closes a quoted stretch, in which blanks and tabs
//   belong to the argument, and is itself dropped;
// - inside a quoted stretch, two double quotes in a row give one literal
//   double quote, and the stretch goes on;
// - 2n backslashes before a double quote give n backslashes and the quote
//   acts as above; 2n + 1 give n backslashes and a literal double quote;
// - other backslashes stay as they are.
// Each argument is written, ended by a NUL, into `text`, which must hold
// strlen(line) + 1 bytes: no argument takes more room than it had in `line`.
// The first `max_args` arguments are pointed to from `args`. Returns how many
// arguments the line holds, which may be more than `max_args`.
std::size_t split_command_line(const char* line, char* text, const char** args,
                               std::size_t max_args);
