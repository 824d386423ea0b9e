// The one writer that replaces a file on disk (settings file, measurement files, exports, pictures,
// prepared reports): the new content
// goes into a staging file beside the target and replaces it by a rename only once it is all on
// disk. Standard C++ and POSIX only.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vyz {

// Writes a file through a staging file beside it, so that a file of that name is replaced only
// once every byte of the new content is on disk. After any failure, or when the writer is
// discarded, an existing file stays exactly as it was and no staging file is left behind.
class StagedFile {
public:
    explicit StagedFile(std::string target);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Creates the staging file in the target's folder (a symbolic link is followed to the file it
    // names, which need not exist yet, so the link stays a link). Fails when the folder cannot
    // take a new file or the target exists and is not a writable regular file; a file without any
    // write permission bit counts as read-only for root too.
    bool Create();
    // Appends `data` whole. A failure leaves the length written so far unchanged, so the same
    // piece can be written again. Creates the staging file first if there is none.
    bool Write(std::span<const uint8_t> data);
    // Puts the content on disk and replaces the target with it; an existing target's permission
    // bits (and, where the process may set them, its owner and group) are kept. On failure the
    // target is unchanged and the staging file is gone.
    bool Commit();
    // Removes the staging file; the target is unchanged.
    void Discard();

    // For a library that writes a file only by its name: the staging file's name after Create. The
    // library may write into that file or put a file of its own in its place under that name;
    // AdoptWritten then takes that file whole as the content, and Commit follows.
    const std::string& StagingPath() const { return staging_; }
    bool AdoptWritten();

    int Error() const { return error_; }                  // errno of the last failure
    const std::string& Target() const { return target_; } // the file that will be replaced

private:
    std::string target_;  // after Create: the file the name resolves to
    std::string staging_; // empty when there is no staging file
    int fd_ = -1;
    uint64_t length_ = 0;
    int error_ = 0;
};

} // namespace vyz
