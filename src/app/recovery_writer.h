#pragma once

// Writes and removes recovery copies on a thread of its own, so that the user-interface
// thread never waits for the disk (a copy is synced to it before it replaces the last
// one). Jobs run in the order given: a removal never overtakes the write before it.
#include "model/recovery.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <variant>

namespace tw {

class RecoveryWriter {
public:
    RecoveryWriter();
    // Finishes every job given, then ends the thread.
    ~RecoveryWriter();
    RecoveryWriter(const RecoveryWriter&) = delete;
    RecoveryWriter& operator=(const RecoveryWriter&) = delete;

    void Write(RecoveryFiles files);
    void Remove(std::string copyPath);
    // Waits until every job given so far is done.
    void Flush();

private:
    void Run();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::variant<RecoveryFiles, std::string>> jobs_;
    bool busy_ = false;
    bool ending_ = false;
    std::thread thread_;
};

} // namespace tw
