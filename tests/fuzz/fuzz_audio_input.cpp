// The audio input path: the bytes of a file, opened by name as any file is,
// decoded, mixed down and padded into the blocks the capture device hands
// the engine; and the same bytes read as raw samples from a descriptor.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/audio_files.h"

namespace {

// Compressed formats can unpack a few bytes into hours of audio; a bounded
// prefix covers every code path.
constexpr size_t kMostSamples = 1 << 20;

void drain(cli::InputFile& input) {
    input.setBlockLength(2048);
    std::vector<int16_t> block(2048);
    size_t total = 0;
    while (total < kMostSamples) {
        const size_t n = input.read(block.data(), block.size());
        if (n == 0) break;
        if (n > block.size()) __builtin_trap();
        total += n;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = memfd_create("fuzz-input", 0);
    if (fd < 0) return 0;
    if (write(fd, data, size) == static_cast<ssize_t>(size)) {
        try {
            cli::InputFile input("/proc/self/fd/" + std::to_string(fd));
            drain(input);
        } catch (const cli::FileError&) {
        }
        lseek(fd, 0, SEEK_SET);
        try {
            cli::InputFile raw(fd, 8000, "-");
            drain(raw);
        } catch (const cli::FileError&) {
        }
    }
    close(fd);
    return 0;
}
