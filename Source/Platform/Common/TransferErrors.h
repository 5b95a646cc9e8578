#pragma once
// The error rule both HTTP layers keep for one request: the first failure ends the request, and
// every later call on it fails with that failure; a call on a request that is not open fails as
// an internal error. With it, what the set-up of the request reports (the step that failed, the
// options refused). Part of each layer's transfer state, reset with it.

#include <vector>

#include "Platform/HttpRequest.h"

namespace Platform
{

struct TransferErrors
{
    bool open = false;
    int terminalError = 0; // once set, every further call fails with it
    int lastError = 0;
    HttpStep failedStep = HttpStep::kNone;
    std::vector<HttpOptionFailure> optionFailures;
    bool decodingAccepted = false;

    // Records error as the call's failure and, the first time, as the request's end; false, for
    // the caller to return.
    bool Fail(int error)
    {
        lastError = error;
        if (!terminalError)
            terminalError = error;
        return false;
    }

    // Fail, for a failure of the set-up or sending of the request at step.
    bool FailAt(HttpStep step, int error)
    {
        if (!terminalError)
            failedStep = step;
        return Fail(error);
    }

    // False (with lastError) when no request is open or it already failed.
    bool Usable()
    {
        if (!open)
            lastError = HttpError::kInternalError;
        else if (terminalError)
            lastError = terminalError;
        return open && !terminalError;
    }
};

} // namespace Platform
