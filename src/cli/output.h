#pragma once

// What becomes of the program's output. Results go to stdout, the product's messages, usage
// errors and the progress bar to stderr, and both are written with plain fmt::print. A write
// that fails must neither throw (fmt reports a short write by an exception, which would end
// the program between writing the pack and saving its state file) nor pass unnoticed (a
// command must not exit 0 with its result lost). So stdout and stderr are replaced, once, by
// streams that always take what they are given: a result that could not be written is noted
// and fails the command once its work is done (FinishOutput); a message that could not be
// written is dropped, as there is nowhere left to say it.
namespace cw::cli {

// Called first in main. A standard stream the program was started without is opened on
// /dev/null, so no file the program opens later takes its place (a message would then land
// in a state file); a result written to a stdout that was closed still counts as lost. A
// reader that went away (a closed pipe) is a failed write, not a signal that ends the
// program.
void GuardStandardStreams();

// A result could not be written: a command that runs until stopped stops.
bool ResultsLost();

// Flushes stdout and returns the exit status to give: `exit_code`, or failure when a result
// was lost (said on stderr, if it still takes it).
int FinishOutput(int exit_code);

}  // namespace cw::cli
