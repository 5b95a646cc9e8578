#pragma once
// The operations the probe performs, one per run, each answering with what happened as JSON.
// Paths and addresses are given as Windows sees them (a Linux /tmp/x is Z:/tmp/x).

#include <nlohmann/json.hpp>

#include "ProbeArguments.h"

namespace probe
{

// Platform::HttpRequest alone: --host, --target, --verb, --header (repeatable), --body,
// --stream (Begin/Write/End), --decode, --agent, --read-size, --pause-ms (before reading),
// --cancel-after-ms (clears the running flag from another thread).
nlohmann::json Request(const Arguments& arguments);
// FileDownload in part-file mode: --host, --path, --suffix, --crc, --destination,
// --stop-after-bytes, --pause-after-bytes with --pause-ms.
nlohmann::json Download(const Arguments& arguments);
// FileUpload with form fields: --url, --method, --header and --field name=value (repeatable),
// --encode.
nlohmann::json Upload(const Arguments& arguments);
// A whole run through DownloadCore as the screens drive it: --program (the program file the
// release name comes from), --bound-ms, --stop-after-bytes, --pause-first, --post-log (the
// exit control's log upload after the run).
nlohmann::json Run(const Arguments& arguments);

} // namespace probe
