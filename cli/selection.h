// Which inputs a run takes: its share of a batch that several machines (or
// scheduler jobs) split among themselves, and those whose output is not
// there yet, so that a batch can be rerun after a failure without redoing
// what was done.
#pragma once

#include <string>

namespace vantrel::cli {

// The K-th of N shares, K counted from 1.
struct Share {
  int index = 1;
  int count = 1;
};

// Reads "K/N" with 1 <= K <= N; answers "" or why the text is not one.
std::string ParseShare(const std::string& text, Share& share);

// The share, 1 to `count`, that the file whose output is named `outputName`
// (the output's file name, without its folder) belongs to.
//
// Decided by a hash of that name alone: the output name is unique within a
// batch and the same on every machine, however the inputs' folders are
// mounted or spelled and in whatever order a shell or scheduler lists them.
// So every machine given the same files agrees on the shares without talking
// to the others, and a file added to the batch later leaves every other file
// in its share. Numbering the sorted list would balance the shares exactly,
// but would move files between shares whenever two machines see a list that
// differs by one file. The hash is FNV-1a over the name's bytes, spelt out
// here so that the Windows and Linux builds agree.
int ShareOf(const std::string& outputName, int count);

// Whether the output at `path` is already there in full. Outputs are written
// to a temporary file, flushed to the disk and only then renamed to their
// name, so a file under the output's name is a complete one: a run that was
// killed, cancelled or failed, or a machine that lost power, leaves at most a
// temporary file (a hidden ".NAME.vantrel-PID.EXT" beside it), never a part
// under the final name.
bool OutputDone(const std::string& path);

}  // namespace vantrel::cli
