#include "WorkerProcesses.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace veltrane::preview {
namespace {

using Counter = std::atomic<std::size_t>;
static_assert(Counter::is_always_lock_free, "the job counter is shared between processes");

// A report travels as: job index (8 bytes), status (1), message length (4), data length (4), then
// the message's and the data's bytes.
constexpr std::size_t kHeaderSize = 17;

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

void SendReport(int fd, std::size_t index, const JobResult& result) {
    std::string record(kHeaderSize, '\0');
    const uint64_t index64 = index;
    const uint32_t length = uint32_t(result.message.size()), dataLength = uint32_t(result.data.size());
    std::memcpy(&record[0], &index64, 8);
    record[8] = char(result.status);
    std::memcpy(&record[9], &length, 4);
    std::memcpy(&record[13], &dataLength, 4);
    record += result.message;
    record += result.data;
    WriteAll(fd, record.data(), record.size());
}

// Takes every complete report off the front of buffer.
void TakeReports(std::string& buffer, const std::function<void(std::size_t, const JobResult&)>& deliver) {
    std::size_t at = 0;
    while (buffer.size() - at >= kHeaderSize) {
        uint64_t index;
        uint32_t length, dataLength;
        std::memcpy(&index, &buffer[at], 8);
        std::memcpy(&length, &buffer[at + 9], 4);
        std::memcpy(&dataLength, &buffer[at + 13], 4);
        if (buffer.size() - at - kHeaderSize < uint64_t(length) + dataLength) break;
        JobResult result;
        result.status = uint8_t(buffer[at + 8]);
        result.message.assign(buffer, at + kHeaderSize, length);
        result.data.assign(buffer, at + kHeaderSize + length, dataLength);
        deliver(std::size_t(index), result);
        at += kHeaderSize + length + dataLength;
    }
    buffer.erase(0, at);
}

struct Worker {
    pid_t pid = -1;
    int fd = -1;          // read end of the worker's report pipe
    std::string pending;  // bytes of a report not yet complete
};

[[noreturn]] void WorkerMain(Counter& next, std::size_t count, int fd,
                             const std::function<JobResult(std::size_t)>& task) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, SIG_DFL);
    for (std::size_t i; (i = next.fetch_add(1)) < count;) SendReport(fd, i, task(i));
    close(fd);
    _exit(0);  // no exit handlers: they belong to the parent
}

std::string HowItEnded(int status) {
    if (WIFSIGNALED(status))
        return std::string("the worker process was killed by signal ") + strsignal(WTERMSIG(status));
    if (WIFEXITED(status)) return "the worker process ended with status " + std::to_string(WEXITSTATUS(status));
    return "the worker process ended unexpectedly";
}

}  // namespace

void RunInWorkerProcesses(std::size_t count, unsigned workers, const std::function<JobResult(std::size_t)>& task,
                          const std::function<void(std::size_t, const JobResult&)>& done,
                          const std::function<bool()>& stop) {
    if (count == 0) return;
    void* shared = mmap(nullptr, sizeof(Counter), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) {
        for (std::size_t i = 0; i < count; ++i) done(i, task(i));
        return;
    }
    Counter& next = *new (shared) Counter(0);
    std::fflush(nullptr);  // nothing buffered may be written twice by the children

    std::vector<Worker> pool;
    for (unsigned w = 0; w < workers && w < count; ++w) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) break;
        const pid_t pid = fork();
        if (pid < 0) {
            close(ends[0]);
            close(ends[1]);
            break;
        }
        if (pid == 0) {
            close(ends[0]);
            for (const Worker& other : pool) close(other.fd);
            WorkerMain(next, count, ends[1], task);
        }
        close(ends[1]);
        pool.push_back({pid, ends[0], {}});
    }

    std::vector<bool> reported(count, false);
    const auto deliver = [&](std::size_t i, const JobResult& result) {
        if (i >= count || reported[i]) return;
        reported[i] = true;
        done(i, result);
    };
    if (pool.empty()) {
        for (std::size_t i; (i = next.fetch_add(1)) < count;) deliver(i, task(i));
    }

    // Collect reports until every worker has closed its pipe.
    std::vector<pollfd> watched;
    std::vector<Worker*> owners;
    bool stopped = false;
    for (;;) {
        watched.clear();
        owners.clear();
        for (Worker& w : pool)
            if (w.fd >= 0) {
                watched.push_back({w.fd, POLLIN, 0});
                owners.push_back(&w);
            }
        if (watched.empty()) break;
        if (stop && stop()) {
            stopped = true;
            for (const Worker& w : pool) kill(w.pid, SIGTERM);
            break;
        }
        if (poll(watched.data(), watched.size(), -1) < 0) {
            if (errno == EINTR) continue;  // the top of the loop asks whether to stop
            break;
        }
        for (std::size_t k = 0; k < watched.size(); ++k) {
            if (watched[k].revents == 0) continue;
            Worker& w = *owners[k];
            char chunk[4096];
            const ssize_t n = read(w.fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {  // end of the pipe: the worker is done or gone
                close(w.fd);
                w.fd = -1;
                continue;
            }
            w.pending.append(chunk, std::size_t(n));
            TakeReports(w.pending, deliver);
        }
    }

    // A worker that died leaves the job it was on unreported.
    std::string ending;
    for (Worker& w : pool)
        if (w.fd >= 0) close(w.fd);  // only after a failed poll: unblocks a worker stuck writing
    for (Worker& w : pool) {
        int status = 0;
        while (waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (!(WIFEXITED(status) && WEXITSTATUS(status) == 0) && ending.empty()) ending = HowItEnded(status);
    }
    for (std::size_t i = 0; i < count && !stopped; ++i)
        if (!reported[i]) {
            JobResult lost;
            lost.lost = true;
            lost.message = ending.empty() ? "the worker process ended unexpectedly" : ending;
            done(i, lost);
        }
    next.~Counter();
    munmap(shared, sizeof(Counter));
}

}  // namespace veltrane::preview
