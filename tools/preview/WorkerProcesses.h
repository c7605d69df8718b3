// Runs numbered jobs in forked worker processes. The archive library keeps its state per process,
// so processes (each binding the library for itself) are what lets archives unpack in parallel;
// they also keep one skin that crashes a worker from taking the run down with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace veltrane::preview {

struct JobResult {
    uint8_t status = 0;   // the task's own code
    std::string message;  // for the caller's report
    bool lost = false;    // the worker ended before reporting this job (message says how)
    std::string data;     // anything else the task hands back, as bytes
};

// Runs task(i) for every i < count in up to `workers` processes, which take the next index from a
// shared counter as they become free. done(i, result) runs in the calling process as each result
// arrives, in arrival order. Returns once every job is reported and every worker is reaped. When no
// process can be started, the jobs run in the calling process.
// stop, when given, is asked whenever a signal interrupts the wait: when it answers true the workers
// are ended, reaped, and the jobs not yet reported are left unreported. Workers take the default
// actions of SIGINT, SIGTERM and SIGHUP whatever handlers the caller installed.
void RunInWorkerProcesses(std::size_t count, unsigned workers, const std::function<JobResult(std::size_t)>& task,
                          const std::function<void(std::size_t, const JobResult&)>& done,
                          const std::function<bool()>& stop = {});

}  // namespace veltrane::preview
