#pragma once
// One worker thread that runs one job at a time: the main thread starts a
// job and later waits for it. The job is a plain function and context fixed
// for each start, so starting allocates nothing.

#include <condition_variable>
#include <mutex>
#include <thread>

class PhysicsWorker {
public:
    using Job = void (*)(void* context);

    PhysicsWorker();
    // Waits for a running job, then ends the thread.
    ~PhysicsWorker();
    PhysicsWorker(const PhysicsWorker&) = delete;
    PhysicsWorker& operator=(const PhysicsWorker&) = delete;

    // False (and nothing started) while a job runs.
    bool start(Job job, void* context);
    // Returns when no job runs; at once when none was started.
    void wait();
    bool isBusy() const;

private:
    void run();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    Job m_job = nullptr;
    void* m_context = nullptr;
    bool m_busy = false;
    bool m_quit = false;
    std::thread m_thread;
};
