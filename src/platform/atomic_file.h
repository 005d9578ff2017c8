#pragma once

// Replacing a file whole: every file the program writes (projects, preferences, rendered
// sound, plugin files and bitmaps) is written to a fresh temporary file beside its target
// and renamed over it only when complete. A crash, a full disk or a second writer never
// leaves a half-written file, and a program that has the old file open or mapped (a host
// with the plugin loaded) keeps reading the old bytes.
#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

// One replacement in progress. Bytes are written in as many pieces as the writer likes
// (or through the descriptor), then Commit() puts the file in place; a replacement that
// is not committed is abandoned and leaves the target as it was.
class AtomicFile {
public:
    // Opens a temporary file with a name of its own in the target's folder. A symbolic
    // link is not replaced: the file it points to is. The temporary file already has the
    // mode the target will keep: the replaced file's, or for a new file the usual mode
    // under the process's umask.
    explicit AtomicFile(std::string_view target);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // False when the temporary file could not be made; writes and the commit then fail.
    bool IsOpen() const { return fd_ >= 0; }
    // The temporary file's descriptor, for libraries that write through one (they must not
    // close it); -1 when not open.
    int Descriptor() const { return fd_; }
    // Appends the bytes. After a failed write the replacement can only be abandoned.
    bool Write(std::string_view bytes);
    // Flushes the bytes to the disk and renames the temporary file over the target. On
    // failure the temporary file is removed and the target is as it was.
    bool Commit();
    // Removes the temporary file; the target is left as it was.
    void Abandon();
    // The errno of the first failure, for messages; 0 when nothing failed.
    int Error() const { return error_; }

private:
    bool Fail(int error);

    std::string target_; // the file that is replaced (a link's destination)
    std::string temp_;
    int fd_ = -1;
    bool failed_ = false;
    int error_ = 0;
};

// The whole-buffer form: replaces the file at `path` with `bytes`. False on failure, and
// the file is then as it was.
bool ReplaceFile(std::string_view path, std::string_view bytes);

// Reading a file whole, the counterpart of the writer above: the file's bytes, at most
// `limit` of them, or nothing when it cannot be opened or read. A reader that knows how
// large its file can be passes one byte more than that, so that a longer file shows as
// longer without being read whole.
std::optional<std::string>
ReadWholeFile(const std::string& path, std::size_t limit = std::numeric_limits<std::size_t>::max());

} // namespace tw
