// Two workers, the calling thread and one more, sharing lists of tasks: the
// one that is free first takes the next task, so that neither waits while
// the other still has several to do.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace lab {

class Team {
public:
    // Starts the second worker; where no thread can be had, the calling
    // thread works alone and every list still runs whole.
    Team();
    ~Team();
    Team(const Team&) = delete;
    Team& operator=(const Team&) = delete;

    // Runs task(i, worker) once for every i < count and returns once all have
    // ended; worker (0 for the calling thread, 1 for the other) says whose
    // scratch a task may use. Tasks are taken in increasing order of i, but
    // which worker runs which is up to timing: each must write only what is
    // its own. The first exception a task throws is raised again here, once
    // the others have ended.
    using Task = std::function<void(std::size_t i, int worker)>;
    void Run(std::size_t count, const Task& task);

private:
    void Work(int worker);
    void Serve();

    std::mutex mutex;
    std::condition_variable wake, finished;
    const Task* task = nullptr;  // the list under way, set and cleared by Run
    std::size_t count = 0;
    std::atomic<std::size_t> next{0};
    std::uint64_t list = 0;  // how many lists Run has handed out
    bool helping = false;    // the second worker is on the current list
    bool stopping = false;
    std::exception_ptr failure;
    std::thread helper;
};

}  // namespace lab
