// Numbers given on a command line, checked the same way by every program.
// Each returns what is wrong with the text ("" when it is good), for a
// message that starts with the option's name.
#pragma once

#include <string>
#include <vector>

namespace cli {

// A whole number from lo to hi written in decimal digits, with a sign at
// most (a leading zero is still decimal: "010" is ten; "0x10" is refused).
std::string parseWhole(const std::string& text, int lo, int hi, int& value);
// A finite number; a magnitude too small to hold reads as 0 or near it.
std::string parseNumber(const std::string& text, double& value);
// A sampling rate: a whole number of hertz written without a leading zero,
// from lo to hi, or (when `allowed` is not empty) one of `allowed`.
std::string parseRate(const std::string& text, int lo, int hi, const std::vector<int>& allowed,
                      int& rate);
// A duration: a finite number of seconds above 0. Above `most` it is either
// cut to `most` (a run that lasts longer than anyone waits) or refused.
enum class AboveMost { Cap, Refuse };
std::string parseSeconds(const std::string& text, double most, AboveMost above, double& seconds);

// The text in quotes, as the messages show a value.
std::string quoted(const std::string& text);

}  // namespace cli
