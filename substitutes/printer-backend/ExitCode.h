#pragma once

namespace tavoren::printerbackend {

// The exit codes the print scheduler reads from a backend.
enum class ExitCode : int {
    Ok = 0,
    Failed = 1,
    AuthRequired = 2,
    Hold = 3, // held until someone releases it; no retry limit applies
    Stop = 4,
    Cancel = 5,
    Retry = 6, // try the job again later
    RetryCurrent = 7,
};

} // namespace tavoren::printerbackend
