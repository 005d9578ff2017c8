#pragma once

// A folder that belongs to one running program: the program holds a lock on a file in it
// for as long as it runs, and the system lets go of the lock when the program ends, however
// it ends. Another program can thus tell a folder whose owner still runs from one whose
// owner is gone (crashed or killed) without any process ids that might be reused.
#include <string>
#include <string_view>

namespace tw {

class FolderLock {
public:
    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Makes a new folder "<prefix>XXXXXX" inside `parent` (created when missing) and locks
    // it. The folder is made under a hidden name and renamed once locked, so that nobody
    // ever sees it unlocked. False when that failed; nothing is held then.
    bool TakeNew(std::string_view parent, std::string_view prefix);
    // Lets go of the lock and removes the folder with everything in it.
    void RemoveAndRelease();

    bool Held() const { return fd_ >= 0; }
    const std::string& Folder() const { return folder_; }

private:
    int fd_ = -1;
    std::string folder_;
};

// Whether a running program holds `folder`'s lock. A folder without a lock file is no
// running program's either.
bool FolderLockedByOther(std::string_view folder);

} // namespace tw
