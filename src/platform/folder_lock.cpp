#include "platform/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace tw {

namespace {

constexpr const char* kLockFile = ".lock";

} // namespace

FolderLock::~FolderLock() {
    // The folder stays: what is in it belongs to the next start once the lock is gone.
    if (fd_ >= 0) close(fd_);
}

bool FolderLock::TakeNew(std::string_view parent, std::string_view prefix) {
    if (Held()) return true;
    std::error_code error;
    fs::create_directories(fs::path(std::string(parent)), error);
    std::string pattern = (fs::path(std::string(parent)) / ".new-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) return false;
    const fs::path made(name.data());
    const int fd = open((made / kLockFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (fd >= 0) close(fd);
        fs::remove_all(made, error);
        return false;
    }
    // The random part of the hidden name keeps the final one unique.
    const std::string unique = made.filename().string().substr(5);
    const fs::path final = made.parent_path() / (std::string(prefix) + unique);
    fs::rename(made, final, error);
    if (error) {
        close(fd);
        fs::remove_all(made, error);
        return false;
    }
    fd_ = fd;
    folder_ = final.string();
    return true;
}

void FolderLock::RemoveAndRelease() {
    if (!Held()) return;
    std::error_code error;
    fs::remove_all(fs::path(folder_), error);
    close(fd_);
    fd_ = -1;
    folder_.clear();
}

bool FolderLockedByOther(std::string_view folder) {
    const fs::path lock = fs::path(std::string(folder)) / kLockFile;
    const int fd = open(lock.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    // A lock of our own on another descriptor counts too: the folder is not free.
    const bool free = flock(fd, LOCK_SH | LOCK_NB) == 0;
    close(fd);
    return !free;
}

} // namespace tw
