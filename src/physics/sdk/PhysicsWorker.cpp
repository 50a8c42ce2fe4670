#include "physics/sdk/PhysicsWorker.h"

PhysicsWorker::PhysicsWorker() : m_thread([this] { run(); }) {}

PhysicsWorker::~PhysicsWorker() {
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_done.wait(lock, [this] { return !m_busy; });
        m_quit = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

bool PhysicsWorker::start(Job job, void* context) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_busy || job == nullptr) {
            return false;
        }
        m_job = job;
        m_context = context;
        m_busy = true;
    }
    m_wake.notify_one();
    return true;
}

void PhysicsWorker::wait() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_done.wait(lock, [this] { return !m_busy; });
}

bool PhysicsWorker::isBusy() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_busy;
}

void PhysicsWorker::run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || m_job != nullptr; });
        if (m_job == nullptr) {
            return;
        }
        Job job = m_job;
        void* context = m_context;
        lock.unlock();
        job(context);
        lock.lock();
        m_job = nullptr;
        m_context = nullptr;
        m_busy = false;
        m_done.notify_all();
    }
}
