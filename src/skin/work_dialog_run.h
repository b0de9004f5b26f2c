// Runs long work on a background worker beside a modal progress dialog.
//
// The job is posted once the dialog shows (from its event loop), so the
// job's end can never reach the dialog before its window: when the job
// returns, closeMessage is sent to the dialog on the UI thread, and that ends
// the modal run. The UI thread never waits for the job. A run that ends
// otherwise (the dialog's self-closing timer, a script's answer or timeout)
// sets the job's cancel flag and the cancel flag of CMovieWorkState and
// leaves the job to finish on the worker: what the job uses must then
// outlive it, so capture it by shared_ptr.
#pragma once

#include "platform/background_worker.h"

#include <cstdint>
#include <functional>

class QDialog;

struct WorkRunResult {
    int dialogResult = 0; // 5 when the job's end closed the dialog
    bool jobStarted = false; // false when the dialog never showed
    bool jobEnded = false; // the job had returned when the dialog ended
};

// The dialog runs through the dialog service (Dialogs().runModal).
WorkRunResult RunWorkBesideDialog(CBackgroundWorker& worker, QDialog& dialog, std::uint32_t closeMessage,
    std::function<void(const CBackgroundWorker::CancelFlag&)> job);
