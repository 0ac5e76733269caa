// The four hand-shake words between the master thread and the progress
// thread. Each has one writer once the progress thread runs; the other side
// polls. Atomics make every store visible to the other thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

extern std::atomic<std::uintptr_t> progressDialog;  // progress thread: view exists
extern std::atomic<int> terminateRequest;           // progress thread: view ended
extern std::atomic<int> masterFinished;             // master: thread may end
extern std::atomic<int> confirmStop;                // master: Stop must be confirmed
// Progress thread: a question that may stop the batch is open. With several
// workers no new job starts until it is answered; one worker goes on.
extern std::atomic<int> holdNewJobs;

// Set by a front end whose stop requests can have arrived without having
// been taken yet (a signal still pending): true while one waits to be taken.
// Null when none can. Read by the master thread only.
extern bool (*stopRequestWaiting)();
// The master's checks before a font starts call this first: it returns once
// no request waits to be taken, so that terminateRequest and holdNewJobs
// tell of every request that has arrived.
void SettleStopRequests();

// The progress thread's side after its view has ended, for every front end:
// raise terminateRequest, log, wait for masterFinished (polled every
// pollMilliseconds, tested before the first sleep), log the exit.
void ProgressThreadEpilogue(int pollMilliseconds = 1000);
// The same, with the front end's own wait between two looks at
// masterFinished (one that the master can cut short).
void ProgressThreadEpilogue(const std::function<void()>& waitForMaster);
