#pragma once
// Runs the command-line program, waits for a marker on its standard error (the trace) and
// sends it a signal, as `kill`, `timeout` or Ctrl-C would.
#include <signal.h>

#include <string>
#include <vector>

namespace evkit::test {

struct Signalled {
    int status = -1;       // exit status; 1000 + N when the program died of signal N
    double seconds = 1e9;  // from the signal to the end of the program
    std::string out, err;  // err holds "<<SIGNAL>>" where the signal was sent
};

// Starts the program with `args`, waits until `marker` appears on stderr, waits `settleMs`
// more (0: none), sends `signo` and waits (10 s at most) for the program to end. With
// `input`, that text is written to its standard input, which then stays open.
// `program` is the command-line program unless given.
Signalled signalAt(const std::vector<std::string>& args, const std::string& marker,
                   int signo = SIGINT, const std::string& input = "", int settleMs = 0,
                   const std::string& program = "");

// What stderr holds after the signal (from the "<<SIGNAL>>" mark on).
std::string afterSignal(const std::string& err);

}  // namespace evkit::test
