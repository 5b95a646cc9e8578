#pragma once

namespace DownloadSystem
{

class FileDownload;

// Callbacks of a download worker. Both are called on the worker's own thread, so an
// implementation guards whatever it shares with other threads itself.
class IDownloadListener
{
public:
    virtual ~IDownloadListener() = default;

    // Called exactly once per run, after the state became 7 (ended, not necessarily verified).
    virtual void OnDownloadFinished(FileDownload* download) = 0;
    // Called after every read that delivered bytes; in part-file mode after they were counted.
    virtual void OnDownloadProgress(FileDownload* download) = 0;
};

} // namespace DownloadSystem
