// Where a program's OUTPUT goes, the same for every program that writes one
// (tarnix-file's audio, tarnix-snapshot's image):
// - a regular file is written to a hidden temporary file beside it, with the
//   old file's mode from the start, and put in its place only once complete
//   (a file with several hard links is rewritten in place then);
// - a device or FIFO is written in place, never replaced;
// - standard output ("-"), or one of the program's open descriptors named as
//   /dev/stdout or /dev/fd/N, is written as it stands (appended to, when it
//   appends): content that is only right once complete goes into a
//   temporary file first and into the descriptor at the end.
// Nothing that is not the program's own is ever removed.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/system.h"

namespace cli {

// Thrown with a one-line message naming the file and what is wrong.
struct FileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Whether two paths name the same file (also through links or other spellings).
bool sameFile(const std::string& a, const std::string& b);

// The file a path names once symbolic links are followed (the path itself
// when it is not a link or cannot be resolved).
std::string followLinks(const std::string& path);

class OutputTarget {
  public:
    // Looks at `path`; throws FileError for one that can never be written
    // (a directory, a block device or a socket) or cannot be looked at.
    explicit OutputTarget(const std::string& path);
    ~OutputTarget();  // removes the temporary file unless committed
    OutputTarget(const OutputTarget&) = delete;
    OutputTarget& operator=(const OutputTarget&) = delete;

    // What is written: a descriptor's file counts as what it is.
    platform::sys::Kind kind() const { return kind_; }
    // The bytes end up on standard output (messages must not go there).
    bool toStandardOutput() const { return descriptor_ == platform::sys::kStandardOutput; }

    // Opens it and returns the descriptor to write; `whole`: the content is
    // right only once complete (a header settled at the end). The caller
    // closes the descriptor unless it is standard output's own (ownsFd()).
    // Throws FileError.
    int open(bool whole);
    bool ownsFd() const { return owned_; }
    // The temporary file being written, or empty when written directly.
    const std::string& temporary() const { return temp_; }
    // Puts the finished temporary file in place, once the descriptor is
    // closed; throws FileError.
    void commit();

  private:
    std::string temporaryBeside(const std::string& target) const;

    std::string path_;    // as given, for messages
    std::string target_;  // the file replaced (links followed), or the device
    platform::sys::Kind kind_ = platform::sys::Kind::Missing;
    int descriptor_ = -1;  // the open descriptor OUTPUT names, if it names one
    int copyTo_ = -1;      // the descriptor a finished temporary file goes into
    bool owned_ = true;
    std::string temp_;
    bool committed_ = false;
};

}  // namespace cli
