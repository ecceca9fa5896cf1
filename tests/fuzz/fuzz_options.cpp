// The option parser: NUL-separated arguments; what it accepts is applied to
// an engine the way tarnix-file applies it.
#include <cstdint>
#include <string>
#include <vector>

#include "app/file/options.h"
#include "support/engine_rig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args{"tarnix-file"};
    std::string current;
    for (size_t i = 0; i < size && args.size() < 40; ++i) {
        if (data[i] == 0) {
            args.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    args.push_back(current);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int code = -1;
    const auto options = file_tool::parseOptions(static_cast<int>(args.size()), argv.data(), code);
    if (code != 0 && code != 2) __builtin_trap();
    if (options) {
        static EngineRig<> rig(11025, 0);
        cli::applyOptions(*options, *rig.engine);
    }
    return 0;
}
