// A thread that can be waited for with a time limit; one that does not end in
// time is let go rather than waited for forever.
#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <thread>

class WorkerThread {
public:
    void Start(std::function<void()> body) {
        std::packaged_task<void()> task(std::move(body));
        done = task.get_future();
        thread = std::thread(std::move(task));
    }

    bool JoinFor(std::chrono::milliseconds limit) {
        if (!thread.joinable()) return true;
        if (done.wait_for(limit) == std::future_status::ready) {
            thread.join();
            return true;
        }
        thread.detach();
        return false;
    }

    ~WorkerThread() {
        if (thread.joinable()) thread.detach();
    }

private:
    std::thread thread;
    std::future<void> done;
};
