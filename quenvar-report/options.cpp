#include "options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <sstream>
#include <string_view>
#include <system_error>

#include "temperature_answer.h"

namespace quenvar_report {
namespace {

struct Option {
    char letter;  // its one-letter form, if it has one
    std::string_view name;
    bool takesValue;
};
constexpr std::array<Option, 13> kOptions{{
    {'T', "temperature", true},
    {0, "column", true},
    {0, "enthalpy", true},
    {0, "model", true},
    {0, "unit", true},
    {0, "last", true},
    {0, "bootstrap", true},
    {0, "seed", true},
    {0, "threads", true},
    {0, "tsv", false},
    {0, "plot", true},
    {'h', "help", false},
    {0, "version", false},
}};

// A whole number in [low, high] and nothing else, or nothing.
std::optional<std::uint64_t> wholeNumber(std::string_view text, std::uint64_t low, std::uint64_t high) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < low || value > high) return std::nullopt;
    return value;
}

// The parts of a --column or --enthalpy value, joined by '+': each a number from 1 (not beyond
// what memory should hold for a line's slots) or a name; nothing where a part is empty or a number
// out of range.
std::optional<std::vector<std::string>> columnParts(const std::string& value) {
    constexpr std::uint64_t kMostColumns = 100000;
    std::vector<std::string> parts{""};
    for (char c : value) {
        if (c == '+') {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    for (const std::string& part : parts) {
        if (part.empty()) return std::nullopt;
        if (part.find_first_not_of("0123456789") == std::string::npos && !wholeNumber(part, 1, kMostColumns)) return std::nullopt;
    }
    return parts;
}

// Applies one option's value; the reason where it is refused.
std::optional<std::string> apply(std::string_view name, const std::string& value, Options& o) {
    const auto refused = [&](std::string_view what) {
        return "invalid --" + std::string(name) + " '" + value + "' (" + std::string(what) + ")";
    };
    if (name == "temperature") {
        std::istringstream answer(value);
        const std::optional<double> t = quenvar::readTemperature(answer);
        if (!t) return "invalid temperature '" + value + "' (a positive number in kelvin, such as 298.15 or 298.15K)";
        o.temperature = *t;
    } else if (name == "column" || name == "enthalpy") {
        const auto parts = columnParts(value);
        if (!parts) return refused("columns joined by +, each a number from 1 to 100000 or a name");
        (name == "column" ? o.column : o.enthalpy) = *parts;
    } else if (name == "model") {
        if (value.empty()) return refused("gb, pb or the start of a model's title");
        o.model = value;
    } else if (name == "unit") {
        std::string lower;
        for (char c : value) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (lower != "kj" && lower != "kcal") return refused("kJ or kcal");
        o.unit = lower == "kj" ? Unit::kKJ : Unit::kKcal;
    } else if (name == "last") {
        const auto percent = wholeNumber(value, 1, 100);
        if (!percent) return refused("a whole number from 1 to 100");
        o.last = static_cast<unsigned>(*percent);
    } else if (name == "bootstrap") {
        const auto resamples = wholeNumber(value, 0, 1000000);
        if (!resamples) return refused("a whole number from 0 to 1000000");
        o.resamples = static_cast<std::size_t>(*resamples);
    } else if (name == "seed") {
        const auto seed = wholeNumber(value, 0, UINT64_MAX);
        if (!seed) return refused("a whole number from 0 to 18446744073709551615");
        o.seed = *seed;
    } else if (name == "threads") {
        const auto threads = wholeNumber(value, 1, 1024);
        if (!threads) return refused("a whole number from 1 to 1024");
        o.threads = static_cast<unsigned>(*threads);
    } else {
        o.plot = value;
    }
    return std::nullopt;
}

}  // namespace

std::variant<Options, std::string> parseOptions(const std::vector<std::string>& args) {
    Options o;
    bool temperatureGiven = false, help = false, version = false, onlyFiles = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (onlyFiles || arg.size() < 2 || arg[0] != '-') {
            o.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyFiles = true;
            continue;
        }
        // --name, --name=value, -X or -Xvalue
        const bool isLong = arg[1] == '-';
        const std::size_t equals = isLong ? arg.find('=') : std::string::npos;
        const std::string_view given = isLong ? std::string_view(arg).substr(2, equals - 2) : std::string_view(arg).substr(1, 1);
        const Option* option = nullptr;
        for (const Option& s : kOptions) {
            if (isLong ? s.name == given : s.letter == given[0]) option = &s;
        }
        if (option == nullptr) return "unknown option '" + (isLong ? std::string(arg, 0, equals) : arg.substr(0, 2)) + "'";
        const std::string shown = "--" + std::string(option->name);
        std::optional<std::string> value;
        if (isLong && equals != std::string::npos) value = arg.substr(equals + 1);
        if (!isLong && arg.size() > 2) value = arg.substr(2);
        if (!option->takesValue) {
            if (value) return "option '" + shown + "' takes no value";
            help = help || option->name == "help";
            version = version || option->name == "version";
            o.tsv = o.tsv || option->name == "tsv";
            continue;
        }
        if (!value) {
            if (i + 1 == args.size()) return "option '" + shown + "' needs a value";
            value = args[++i];
        }
        if (const auto refusal = apply(option->name, *value, o)) return *refusal;
        temperatureGiven = temperatureGiven || option->name == "temperature";
    }
    if (help || version) {
        o.action = help ? Options::Action::kHelp : Options::Action::kVersion;
        return o;
    }
    if (!temperatureGiven) return std::string("the temperature is required (-T KELVIN)");
    if (o.files.empty()) return std::string("no energy file given");
    if (std::count(o.files.begin(), o.files.end(), "-") > 1) return std::string("standard input (-) is named twice: it can be read once");
    if (!o.plot.empty() && o.files.size() > 1) return "--plot takes one energy file, not " + std::to_string(o.files.size());
    return o;
}

}  // namespace quenvar_report
