// Host callbacks for the benchmarks: an abort test that never stops and a
// progress report that is ignored, out of line as a host's are.
#include "bench/bench_support.h"

namespace vantrel::bench {

Boolean AnswerContinue() { return 0; }

void IgnoreProgress(int32, int32) {}

}  // namespace vantrel::bench
