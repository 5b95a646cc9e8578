#pragma once
// The download engine run headless, the way the program's screens drive it: one DownloadCore
// for a program path, the description request, the run, and the counters read every frame.

#include <string>

namespace bench
{

// Asks the download service for the release's description and prints, as shell-readable
// KEY='value' lines, where the storage serves its files: BENCH_STORAGE_PREFIX (URL up to the
// file name) and BENCH_STORAGE_QUERY (text after the file name). 0 on success.
int DescribeStorage(const std::string& programPath);

// One whole run for the program at programPath (its folder receives the files). Returns 0
// when the run ended without any error on the error list.
int RunEngine(const std::string& programPath);

} // namespace bench
