#include "mixer/text_file.h"

#include <cstdarg>
#include <string>

bool TextFile::open(const char* path) {
    close();
    // Binary, so that the line ends written are the ones given.
    file_ = std::fopen(path, "wb");
    return file_ != nullptr;
}

void TextFile::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

void TextFile::print(const char* format, ...) {
    if (!file_) return;
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length < 0) {
        va_end(again);
        return;
    }
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    text.pop_back();
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    std::fwrite(out.data(), 1, out.size(), file_);
}
