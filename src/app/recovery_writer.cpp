#include "app/recovery_writer.h"

namespace tw {

RecoveryWriter::RecoveryWriter() : thread_([this] { Run(); }) {}

RecoveryWriter::~RecoveryWriter() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void RecoveryWriter::Write(RecoveryFiles files) {
    {
        const std::lock_guard lock(mutex_);
        // A newer copy of the same project makes a write still waiting needless.
        std::erase_if(jobs_, [&](const auto& job) {
            const auto* waiting = std::get_if<RecoveryFiles>(&job);
            return waiting != nullptr && waiting->copyPath == files.copyPath;
        });
        jobs_.emplace_back(std::move(files));
    }
    changed_.notify_all();
}

void RecoveryWriter::Remove(std::string copyPath) {
    {
        const std::lock_guard lock(mutex_);
        jobs_.emplace_back(std::move(copyPath));
    }
    changed_.notify_all();
}

void RecoveryWriter::Flush() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return jobs_.empty() && !busy_; });
}

void RecoveryWriter::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return ending_ || !jobs_.empty(); });
        if (jobs_.empty()) return; // ending, with nothing left to do
        auto job = std::move(jobs_.front());
        jobs_.pop_front();
        busy_ = true;
        lock.unlock();
        if (const auto* files = std::get_if<RecoveryFiles>(&job)) {
            // A copy that cannot be written is retried with the next change; the work is
            // still in the program.
            WriteRecoveryFiles(*files);
        } else {
            RemoveRecoveryCopy(std::get<std::string>(job));
        }
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}

} // namespace tw
