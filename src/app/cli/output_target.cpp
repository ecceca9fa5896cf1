#include "app/cli/output_target.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "app/cli/signals.h"

namespace cli {

namespace sys = platform::sys;
namespace fs = std::filesystem;

namespace {
std::string named(const std::string& path) {
    return path == "-" ? std::string("standard output") : "'" + path + "'";
}

std::string why(int error) {
    return std::string(" (") + std::strerror(error) + ")";
}

std::string parentOf(const std::string& path) {
    const fs::path p(path);
    return p.has_parent_path() ? p.parent_path().string() : std::string(".");
}
}  // namespace

OutputTarget::OutputTarget(const std::string& path) : path_(path), target_(path) {
    // Standard output, or a name for one of the program's open descriptors:
    // its file is written as it stands, never replaced by name (a file the
    // shell opened to append keeps what it held).
    const auto own = sys::descriptorNamed(path == "-" ? "/dev/stdout" : path);
    if (path == "-" || own) {
        descriptor_ = own ? own->fd : sys::kStandardOutput;
        kind_ = own ? own->kind : sys::Kind::Device;
        // Standard output is taken as it is, whatever it is.
        if (path == "-" && kind_ != sys::Kind::Regular && kind_ != sys::Kind::Fifo)
            kind_ = sys::Kind::Device;
        if (kind_ == sys::Kind::Refused)
            throw FileError(named(path) + ": is a block device or socket; refusing to write to it");
        return;
    }
    if (!sys::kindOf(path, kind_)) throw FileError(named(path) + ": cannot write it" + why(errno));
    if (kind_ == sys::Kind::Directory) throw FileError(named(path) + ": is a directory");
    if (kind_ == sys::Kind::Refused)
        throw FileError(named(path) + ": is a block device or socket; refusing to write to it");
    // Only a file that is replaced is looked for where its links end; a
    // device or pipe is opened as named.
    if (kind_ == sys::Kind::Regular || kind_ == sys::Kind::Missing) target_ = followLinks(path);
}

OutputTarget::~OutputTarget() {
    if (!committed_ && !temp_.empty()) {
        unlink(temp_.c_str());
        signals::setTemporary({});
    }
    if (copyTo_ >= 0) close(copyTo_);
}

std::string OutputTarget::temporaryBeside(const std::string& target) const {
    // A hidden name, cut to fit the directory's limit.
    const std::string dir = parentOf(target);
    std::string base = fs::path(target).filename().string();
    const std::string suffix = ".tmp-XXXXXX";
    const size_t room = sys::nameLimit(dir) - 1 - suffix.size();
    if (base.size() > room) base.resize(room);
    return dir + "/." + base + suffix;
}

int OutputTarget::open(bool whole) {
    int mode = sys::modeFor(target_);
    std::string pattern;
    if (descriptor_ >= 0) {
        const bool regular = kind_ == sys::Kind::Regular;
        if (!whole || !regular) {
            if (path_ == "-") {
                owned_ = false;
                return descriptor_;
            }
            const int fd = dup(descriptor_);
            if (fd < 0) throw FileError(named(path_) + ": cannot write it" + why(errno));
            return fd;
        }
        // The file is whole only at the end: it is made beside the file the
        // descriptor is open on where that can be told, and goes into the
        // descriptor when complete.
        copyTo_ = dup(descriptor_);
        if (copyTo_ < 0) throw FileError(named(path_) + ": cannot write it" + why(errno));
        const std::string file = followLinks(path_ == "-" ? "/dev/stdout" : path_);
        std::error_code ec;
        std::string dir = parentOf(file);
        if (!fs::is_directory(dir, ec)) {
            const char* tmp = std::getenv("TMPDIR");
            dir = tmp && *tmp ? tmp : "/tmp";
        }
        pattern = temporaryBeside(dir + "/" + fs::path(file).filename().string());
        mode = 0600;
    } else if (kind_ == sys::Kind::Device || kind_ == sys::Kind::Fifo || kind_ == sys::Kind::Null) {
        const int fd = sys::openInPlace(target_);
        if (fd < 0) throw FileError(named(path_) + ": cannot write it" + why(errno));
        return fd;
    } else {
        pattern = temporaryBeside(target_);
    }
    const int fd = sys::createTemporary(pattern, mode);
    if (fd < 0)
        throw FileError(named(path_) + ": cannot write in " + named(parentOf(pattern)) +
                        why(errno));
    temp_ = pattern;
    signals::setTemporary(temp_);
    return fd;
}

void OutputTarget::commit() {
    if (!temp_.empty()) {
        const bool placed =
            copyTo_ >= 0 ? sys::copyInto(temp_, copyTo_) : sys::replaceFile(temp_, target_);
        if (!placed) {
            const int error = errno;
            throw FileError(
                named(path_) + (copyTo_ >= 0 ? ": cannot write it" : ": cannot replace it") +
                why(error) + (error == EFBIG ? ": the file-size limit was reached" : ""));
        }
    }
    committed_ = true;
    signals::setTemporary({});
}

bool sameFile(const std::string& a, const std::string& b) {
    if (a == "-" || b == "-") return false;
    std::error_code ec;
    if (fs::equivalent(a, b, ec)) return true;
    std::error_code eca, ecb;
    const auto ca = fs::weakly_canonical(a, eca);
    const auto cb = fs::weakly_canonical(b, ecb);
    return !eca && !ecb && ca == cb;
}

std::string followLinks(const std::string& path) {
    fs::path p(path);
    for (int hops = 0; hops < 40; ++hops) {
        if (!sys::isSymbolicLink(p.string())) return p.string();
        std::error_code ec;
        const fs::path to = fs::read_symlink(p, ec);
        if (ec) return p.string();
        p = to.is_absolute() ? to : p.parent_path() / to;
    }
    return p.string();  // a loop: opening it reports the error
}

}  // namespace cli
