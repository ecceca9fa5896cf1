// A listing file opened for writing whose line ends are CR LF on every
// platform, as the listing format requires.
#pragma once

#include <cstdio>

#if defined(__GNUC__)
#define TARNIX_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define TARNIX_PRINTF_FORMAT(f, a)
#endif

class TextFile {
  public:
    TextFile() = default;
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;
    ~TextFile() { close(); }

    // Creates the file, or empties it if it exists; false when it cannot be
    // opened.
    bool open(const char* path);
    void close();
    bool isOpen() const { return file_ != nullptr; }

    // One formatted write; every "\n" in the result becomes CR LF. Write
    // errors are not detected.
    void print(const char* format, ...) TARNIX_PRINTF_FORMAT(2, 3);

  private:
    std::FILE* file_ = nullptr;
};
