#include "platform/atomic_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw {

namespace {

// The process's umask as the kernel reports it. umask() can only be read by setting it,
// which would change it for a moment under the audio and MIDI threads' feet; the status
// file reads it without touching it.
mode_t ReadUmask() {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (f == nullptr) return 022;
    char line[256];
    unsigned value = 022;
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (std::sscanf(line, "Umask: %o", &value) == 1) break;
    }
    std::fclose(f);
    return static_cast<mode_t>(value & 0777);
}

mode_t NewFileMode() {
    static const mode_t mask = ReadUmask();
    return 0666 & ~mask;
}

// The file a write to `path` must replace: a symbolic link's destination, so that the
// link stays a link.
std::string ReplacedFile(std::string_view path) {
    std::string target(path);
    struct stat st {};
    if (lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = realpath(target.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    return target;
}

} // namespace

AtomicFile::AtomicFile(std::string_view target) : target_(ReplacedFile(target)) {
    temp_ = target_ + ".saving-XXXXXX";
    fd_ = mkostemp(temp_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        Fail(errno);
        temp_.clear();
        return;
    }
    struct stat st {};
    const mode_t mode = stat(target_.c_str(), &st) == 0 ? st.st_mode & 07777 : NewFileMode();
    if (fchmod(fd_, mode) != 0) Fail(errno);
}

AtomicFile::~AtomicFile() {
    Abandon();
}

bool AtomicFile::Fail(int error) {
    if (!failed_) error_ = error;
    failed_ = true;
    return false;
}

bool AtomicFile::Write(std::string_view bytes) {
    if (fd_ < 0 || failed_) return false;
    while (!bytes.empty()) {
        const ssize_t n = write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Fail(n < 0 ? errno : EIO);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool AtomicFile::Commit() {
    if (fd_ < 0 || failed_) {
        Abandon();
        return false;
    }
    // The rename must not reach the disk before the data does.
    if (fsync(fd_) != 0) Fail(errno);
    if (close(fd_) != 0) Fail(errno);
    fd_ = -1;
    if (!failed_ && std::rename(temp_.c_str(), target_.c_str()) != 0) Fail(errno);
    if (failed_) {
        Abandon();
        return false;
    }
    temp_.clear();
    return true;
}

void AtomicFile::Abandon() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (!temp_.empty()) unlink(temp_.c_str());
    temp_.clear();
    failed_ = true;
}

bool ReplaceFile(std::string_view path, std::string_view bytes) {
    AtomicFile file(path);
    return file.Write(bytes) && file.Commit();
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t limit) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    std::size_t n = 0;
    while (bytes.size() < limit &&
           (n = std::fread(buffer, 1, std::min(sizeof buffer, limit - bytes.size()), f)) > 0)
        bytes.append(buffer, n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return std::nullopt;
    return bytes;
}

} // namespace tw
