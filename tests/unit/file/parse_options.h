// tarnix-file's command line as the tests give it: the options, then an
// input and an output.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/file/options.h"

namespace file_test {

inline std::optional<file_tool::Options> parse(std::vector<std::string> args) {
    args.insert(args.begin(), "tarnix-file");
    args.push_back("in.wav");
    args.push_back("out.wav");
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    int code = -1;
    return file_tool::parseOptions(static_cast<int>(argv.size()), argv.data(), code);
}

}  // namespace file_test
