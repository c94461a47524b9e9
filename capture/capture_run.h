// capture/capture_run.h — the capture and benchmark commands of the command line.
//
// Both return the process's exit code: 0 done, 1 the run failed (no screen, a write failed,
// the encoder failed), 2 refused before anything was written (a bad input script, no ffmpeg).
#pragma once

#include "capture/cli_options.h"

namespace capture {

int capture_main(const CliOptions& options);
// `process_start` is the steady-clock reading (in ns) taken when main() began.
int capture_bench_main(const CliOptions& options, long long process_start);

}  // namespace capture
