#include "app/cli/numbers.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace cli {

namespace {

// A whole string read as a number: strtod's forms, nothing before or after.
struct Reading {
    bool number = false;    // the whole text is a number (infinities and NaN included)
    bool tooLarge = false;  // beyond the largest double; value is then +-HUGE_VAL
    double value = 0.0;
};

Reading read(const std::string& text) {
    Reading r;
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return r;
    char* end = nullptr;
    errno = 0;
    r.value = std::strtod(text.c_str(), &end);
    r.number = end == text.c_str() + text.size();
    // Underflow leaves a value at or near 0, which is what was meant.
    r.tooLarge = errno == ERANGE && std::isinf(r.value);
    return r;
}

}  // namespace

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

std::string parseNumber(const std::string& text, double& value) {
    const Reading r = read(text);
    if (!r.number) return "expected a number: " + quoted(text);
    if (r.tooLarge) return quoted(text) + " is too large a number";
    if (!std::isfinite(r.value)) return "expected a finite number: " + quoted(text);
    value = r.value;
    return {};
}

std::string parseWhole(const std::string& text, int lo, int hi, int& value) {
    const std::string range = "from " + std::to_string(lo) + " to " + std::to_string(hi);
    if (text.empty()) return "expected a whole number " + range + "; found nothing";
    const size_t sign = text[0] == '-' || text[0] == '+' ? 1 : 0;
    const std::string digits = text.substr(sign);
    if (!digits.empty() &&
        std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const size_t first = digits.find_first_not_of('0');
        const std::string plain = first == std::string::npos ? "0" : digits.substr(first);
        long long n = plain.size() > 12 ? LLONG_MAX : std::stoll(plain);
        if (text[0] == '-') n = -n;
        if (n < lo || n > hi) return quoted(text) + " is out of range; expected " + range;
        value = static_cast<int>(n);
        return {};
    }
    const Reading r = read(text);
    if (!r.number || std::isnan(r.value))
        return quoted(text) + " is not a number; expected a whole number " + range;
    if (std::isfinite(r.value) && r.value == std::floor(r.value) && std::fabs(r.value) < 1e12)
        return quoted(text) + " is not written as a whole number; write " +
               std::to_string(static_cast<long long>(r.value));
    return quoted(text) + " is not a whole number; expected one " + range;
}

std::string parseRate(const std::string& text, int lo, int hi, const std::vector<int>& allowed,
                      int& rate) {
    std::string range;
    if (allowed.empty()) {
        range = "from " + std::to_string(lo) + " to " + std::to_string(hi) + " Hz";
    } else {
        for (size_t i = 0; i < allowed.size(); ++i)
            range += (i == 0                    ? ""
                      : i + 1 == allowed.size() ? " or "
                                                : ", ") +
                     std::to_string(allowed[i]);
        range = "one of " + range + " Hz";
    }
    if (text.empty()) return "expected a rate, " + range + "; found nothing";
    long long value = 0;
    if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const size_t digit = text.find_first_not_of('0');
        const std::string plain = digit == std::string::npos ? "0" : text.substr(digit);
        if (plain != text) return quoted(text) + " has a leading zero; write " + plain;
        value = text.size() > 12 ? LLONG_MAX : std::stoll(text);
    } else {
        const Reading r = read(text);
        if (!r.number || std::isnan(r.value))
            return quoted(text) + " is not a number; expected a rate, " + range;
        if (std::isfinite(r.value) && r.value != std::floor(r.value))
            return quoted(text) + " is not a whole number of hertz";
        value = std::isfinite(r.value) && std::fabs(r.value) < 1e12
                    ? static_cast<long long>(r.value)
                    : (r.value < 0 ? LLONG_MIN : LLONG_MAX);
    }
    const bool listed = allowed.empty()
                            ? value >= lo && value <= hi
                            : std::find(allowed.begin(), allowed.end(), value) != allowed.end();
    if (!listed) return quoted(text) + " is out of range; the rate is " + range;
    rate = static_cast<int>(value);
    return {};
}

std::string parseSeconds(const std::string& text, double most, AboveMost above, double& seconds) {
    if (text.empty()) return "expected a number of seconds; found nothing";
    const Reading r = read(text);
    if (!r.number || std::isnan(r.value))
        return quoted(text) + " is not a number; expected a number of seconds";
    if (!(r.value > 0)) return quoted(text) + " is not more than 0 seconds";
    if (std::isinf(r.value) && !r.tooLarge)
        return quoted(text) + " is not a finite number of seconds";
    if (r.value > most) {
        if (above == AboveMost::Refuse) {
            char limit[32];
            std::snprintf(limit, sizeof limit, "%g", most);
            return quoted(text) + " is too long; at most " + limit + " seconds";
        }
        seconds = most;
        return {};
    }
    seconds = r.value;
    return {};
}

}  // namespace cli
