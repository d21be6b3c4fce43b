#include "energy_input.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <istream>
#include <new>
#include <optional>
#include <streambuf>
#include <string_view>
#include <utility>

#include "decimal_conversion.h"
#include "energy_reader.h"
#include "extraction_grammar.h"

namespace quenvar_report {
namespace {

constexpr std::size_t kLookedAtMost = std::size_t{1} << 20;  // to tell the layout; real headers are far shorter
constexpr std::size_t kLongestLine = std::size_t{1} << 20;   // of a CSV line that is held
constexpr std::string_view kByteOrderMark = "\xef\xbb\xbf";

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool isTitle(std::string_view line) {
    return line.find(',') == std::string_view::npos && (line.ends_with(':') || line.ends_with("Energy Terms"));
}

std::string lowered(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lower;
}

// "@ sK legend "NAME"", which names column K + 2 of a table (the time is column 1).
struct Legend {
    int column;
    std::string name;
};
std::optional<Legend> legendOf(std::string_view line) {
    line = trimmed(line);
    if (!line.starts_with('@')) return std::nullopt;
    line = trimmed(line.substr(1));
    int set = 0;
    const auto [end, error] = std::from_chars(line.data() + std::min<std::size_t>(line.size(), 1), line.data() + line.size(), set);
    if (!line.starts_with('s') || error != std::errc{} || set < 0 || set > 100000) return std::nullopt;
    line = trimmed(line.substr(static_cast<std::size_t>(end - line.data())));
    if (!line.starts_with("legend")) return std::nullopt;
    line = trimmed(line.substr(6));
    const std::size_t close = line.find('"', 1);
    if (!line.starts_with('"') || close == std::string_view::npos) return std::nullopt;
    return Legend{set + 2, std::string(line.substr(1, close - 1))};
}

// The bytes read to tell the layout: up to the end of the first line that is neither blank nor
// holds '#' or '@', and the legends before it.
struct Head {
    std::string bytes;
    Layout layout = Layout::kTable;
    std::vector<Legend> legends;

    // Judges one line; true once the layout is decided.
    bool decides(std::string_view line) {
        if (line.find_first_of("#@") != std::string_view::npos) {
            if (auto legend = legendOf(line)) legends.push_back(std::move(*legend));
            return false;
        }
        line = trimmed(line);
        if (line.empty()) return false;
        layout = isTitle(line) ? Layout::kSuiteCsv : Layout::kTable;
        return true;
    }
};

Head lookAtHead(std::streambuf& source) {
    Head head;
    std::size_t lineStart = 0;
    char chunk[4096];
    for (;;) {
        for (std::size_t end; (end = head.bytes.find('\n', lineStart)) != std::string::npos; lineStart = end + 1) {
            std::string_view line(head.bytes.data() + lineStart, end - lineStart);
            if (lineStart == 0 && line.starts_with(kByteOrderMark)) line.remove_prefix(kByteOrderMark.size());
            if (head.decides(line)) return head;
        }
        if (head.bytes.size() >= kLookedAtMost) return head;  // a table, then
        const std::streamsize got = source.sgetn(chunk, sizeof chunk);
        if (got <= 0) {
            std::string_view line = std::string_view(head.bytes).substr(lineStart);  // the last, without a line end
            if (lineStart == 0 && line.starts_with(kByteOrderMark)) line.remove_prefix(kByteOrderMark.size());
            head.decides(line);
            return head;
        }
        head.bytes.append(chunk, static_cast<std::size_t>(got));
    }
}

// The bytes looked at, then the rest of the source: the file again from its start, for the
// layout's reader. Block reads pass straight through, and the bytes left are the source's too.
class Replay : public std::streambuf {
public:
    Replay(std::string head, std::streambuf* rest) : head_(std::move(head)), rest_(rest) {
        setg(head_.data(), head_.data(), head_.data() + head_.size());
    }

private:
    int_type underflow() override {
        const std::streamsize got = rest_->sgetn(buffer_, sizeof buffer_);
        if (got <= 0) return traits_type::eof();
        setg(buffer_, buffer_, buffer_ + got);
        return traits_type::to_int_type(buffer_[0]);
    }
    std::streamsize xsgetn(char* to, std::streamsize count) override {
        const std::streamsize held = std::min<std::streamsize>(count, egptr() - gptr());
        std::memcpy(to, gptr(), static_cast<std::size_t>(held));
        gbump(static_cast<int>(held));
        return held < count ? held + rest_->sgetn(to + held, count - held) : held;
    }
    std::streamsize showmanyc() override { return std::max<std::streamsize>(rest_->in_avail(), 0); }

    std::string head_;
    std::streambuf* rest_;
    char buffer_[4096];
};

// A table, read by quenvar's reader: columns by number, or by the names its legends give them.
std::string resolve(const std::vector<std::string>& parts, const std::vector<Legend>& legends, std::vector<int>& columns) {
    for (const std::string& part : parts) {
        if (part.find_first_not_of("0123456789") == std::string::npos) {
            columns.push_back(std::stoi(part));
            continue;
        }
        const auto named = std::find_if(legends.begin(), legends.end(), [&part](const Legend& l) { return l.name == part; });
        if (named != legends.end()) {
            columns.push_back(named->column);
            continue;
        }
        std::string known;
        for (const Legend& l : legends) known += (known.empty() ? "" : ", ") + std::to_string(l.column) + " '" + l.name + "'";
        return "no column is named '" + part + "' (" + (known.empty() ? "it has no @ sK legend lines" : "its legends: " + known) + ")";
    }
    return "";
}

EnergyInput readTable(std::istream& in, const std::vector<Legend>& legends, const Options& o) {
    EnergyInput input;
    quenvar::EnergyColumns columns;
    if (!o.column.empty()) columns.energy.clear();
    for (const auto& [parts, placed] : {std::pair(&o.column, &columns.energy), std::pair(&o.enthalpy, &columns.extra)}) {
        input.error = resolve(*parts, legends, *placed);
        if (!input.error.empty()) return input;
    }
    quenvar::EnergyFileReading reading =
        quenvar::detail::readEnergySeries(in, quenvar::detail::kEnergyBlockSize, quenvar::detail::LinePaths::kFastWhereItCan, columns);
    using Verdict = quenvar::EnergyFileReading::Verdict;
    switch (reading.verdict) {
        case Verdict::kUnreadable:
            input.error = "can not open or read the file";
            break;
        case Verdict::kMalformedLine:
            input.error = "line " + std::to_string(reading.malformedLine) + " does not begin with " + std::to_string(columns.highest()) +
                          " numbers";
            // Where columns were chosen, how many the line has says which it lacks.
            if (!o.column.empty() || !o.enthalpy.empty()) input.error += " (it begins with " + std::to_string(reading.malformedNumbers) + ")";
            break;
        case Verdict::kOutOfMemory:
            input.error = "not enough memory to read the file";
            break;
        case Verdict::kRead:
            input.energies = std::move(reading.series);
            input.enthalpies = std::move(reading.extra);
            break;
    }
    return input;
}

// The lines of a stream, read a block at a time, each without its line end (LF or CR LF). A line
// longer than kLongestLine is cut there, and the rest of it passed over.
class Lines {
public:
    explicit Lines(std::istream& in) : in_(in) {}

    bool next(std::string& line, bool& cut) {
        line.clear();
        cut = false;
        bool any = false;
        for (;;) {
            if (at_ == end_ && !fill()) {
                if (!any) return false;
                break;  // the last line, without a line end
            }
            any = true;
            const char* start = block_ + at_;
            const auto* newline = static_cast<const char*>(std::memchr(start, '\n', end_ - at_));
            const std::size_t length = newline != nullptr ? static_cast<std::size_t>(newline - start) : end_ - at_;
            const std::size_t kept = std::min(length, kLongestLine - line.size());
            line.append(start, kept);
            cut = cut || kept < length;
            at_ += length + (newline != nullptr ? 1 : 0);
            if (newline != nullptr) break;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        ++number_;
        return true;
    }
    std::uint64_t number() const { return number_; }
    bool failed() const { return in_.bad(); }

private:
    bool fill() {
        in_.read(block_, sizeof block_);
        at_ = 0;
        end_ = static_cast<std::size_t>(in_.gcount());
        return end_ > 0;
    }
    std::istream& in_;
    char block_[1 << 16];
    std::size_t at_ = 0, end_ = 0;
    std::uint64_t number_ = 0;
};

// A field's number, as the table's numbers are read (white space around it allowed); nothing
// where it is not one or lies beyond the doubles.
std::optional<double> numberIn(std::string_view field) {
    field = trimmed(field);
    struct Cursor {
        std::string_view text;
        std::size_t at = 0;
        int peek() const { return at < text.size() ? static_cast<unsigned char>(text[at]) : -1; }
        void take() { ++at; }
    } cursor{field};
    if (!quenvar::detail::scanExtractedNumber(cursor).isNumber || cursor.at != field.size()) return std::nullopt;
    const double value = quenvar::detail::convertDecimal(field);
    if (std::isinf(value)) return std::nullopt;
    return value;
}

std::vector<std::string_view> fieldsOf(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t comma = line.find(',', start);
        fields.push_back(trimmed(line.substr(start, comma - start)));
        if (comma == std::string_view::npos) return fields;
        start = comma + 1;
    }
}

// Whether a model's title is the one --model names: gb and pb the two solvation models' own,
// any other name the start of a title, in any case.
bool isModel(std::string_view title, const std::string& name) {
    const std::string lower = lowered(title), wanted = lowered(name);
    if (wanted == "gb") return lower == "generalized born:";
    if (wanted == "pb") return lower == "poisson boltzmann:";
    return lower.starts_with(wanted);
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

// The suites' per-frame CSV: a model's title, then blocks of a title, a header line that begins
// with "Frame #", and a row per frame up to a blank line. Only the rows of the delta blocks of
// one model are read; the energy and dH are columns of them, found by name.
EnergyInput readSuiteCsv(std::istream& in, const Options& o) {
    EnergyInput input{Layout::kSuiteCsv, {}, {}, ""};
    const std::vector<std::string> energyNames = o.column.empty() ? std::vector<std::string>{"VDWAALS", "EEL"} : o.column;
    Lines lines(in);
    std::string line, model, usedModel;
    std::vector<std::string> models;  // every model title, in order
    enum class Expect { kTitle, kHeader, kRow } expect = Expect::kTitle;
    bool delta = false, used = false, anyUsed = false, several = false, cut = false;
    std::vector<std::size_t> energyFields, enthalpyFields;
    std::size_t fieldCount = 0;
    const auto malformed = [&input, &lines](const std::string& why) {
        input.error = "line " + std::to_string(lines.number()) + " " + why;
        return input;
    };
    while (lines.next(line, cut)) {
        std::string_view text = line;
        if (lines.number() == 1 && text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
        text = trimmed(text);
        if (expect == Expect::kRow) {
            if (text.empty()) {
                expect = Expect::kTitle;
            } else if (used) {
                if (cut) return malformed("is longer than 1 MiB");
                const std::vector<std::string_view> fields = fieldsOf(text);
                if (fields.size() != fieldCount) {
                    return malformed("has " + std::to_string(fields.size()) + " fields where its header has " + std::to_string(fieldCount));
                }
                for (const auto& [placed, series] : {std::pair(&energyFields, &input.energies), std::pair(&enthalpyFields, &input.enthalpies)}) {
                    for (std::size_t i = 0; i < placed->size(); ++i) {
                        const std::optional<double> value = numberIn(fields[(*placed)[i]]);
                        if (!value) return malformed("has no number in its field '" + std::string(fields[(*placed)[i]]) + "'");
                        if (i == 0) series->push_back(*value);
                        else series->back() += *value;
                    }
                }
            }
            continue;
        }
        if (expect == Expect::kHeader) {
            if (!text.starts_with("Frame #")) return malformed("is not the header (\"Frame #,...\") of the block its title begins");
            if (cut) return malformed("is longer than 1 MiB");
            expect = Expect::kRow;
            // The delta blocks of the model chosen, or of the first model that has one.
            used = delta && !several && (o.model.empty() ? !anyUsed || model == usedModel : isModel(model, o.model));
            if (delta && o.model.empty() && anyUsed && model != usedModel) several = true;
            if (!used) continue;
            anyUsed = true;
            usedModel = model;
            const std::vector<std::string_view> fields = fieldsOf(text);
            fieldCount = fields.size();
            std::string names;
            for (std::string_view f : fields) names += (names.empty() ? "" : ", ") + std::string(f);
            const auto find = [&fields](const std::string& name) { return static_cast<std::size_t>(std::find(fields.begin(), fields.end(), name) - fields.begin()); };
            std::vector<std::string> enthalpyNames = o.enthalpy;
            if (enthalpyNames.empty()) {  // TOTAL, or DELTA TOTAL, where the block has one
                for (const char* total : {"TOTAL", "DELTA TOTAL"}) {
                    if (enthalpyNames.empty() && find(total) < fieldCount) enthalpyNames = {total};
                }
            }
            using Lookup = std::pair<const std::vector<std::string>*, std::vector<std::size_t>*>;
            for (const auto& [wanted, placed] : {Lookup{&energyNames, &energyFields}, Lookup{&enthalpyNames, &enthalpyFields}}) {
                placed->clear();
                for (const std::string& name : *wanted) {
                    placed->push_back(find(name));
                    if (placed->back() == fieldCount) return malformed("heads a delta block without a column '" + name + "' (its columns: " + names + ")");
                }
            }
            if (!input.enthalpies.empty() != !enthalpyFields.empty() && !input.energies.empty()) {
                return malformed("heads a block with dH where an earlier one had none, or none where it had");
            }
            continue;
        }
        if (text.empty()) continue;
        if (cut || !isTitle(text)) return malformed("is neither a title nor in a block");
        if (text.ends_with(':')) {
            model = text;
            if (std::find(models.begin(), models.end(), model) == models.end()) models.push_back(model);
            continue;
        }
        delta = text == "Delta Energy Terms" || text == "DELTA Energy Terms";
        expect = Expect::kHeader;
    }
    if (lines.failed()) {
        input.error = "can not open or read the file";
    } else if (several) {
        input.error = "holds several models (" + joined(models) + "): choose one with --model";
    } else if (!o.model.empty() && !anyUsed) {
        input.error = "has no model '" + o.model + "' with a delta block (" + (models.empty() ? "it names none" : "its models: " + joined(models)) + ")";
    } else if (!anyUsed) {
        input.error = "has no Delta Energy Terms block";
    }
    return input;
}

}  // namespace

EnergyInput readEnergyInput(std::istream& in, const Options& o) {
    try {
        Head head = lookAtHead(*in.rdbuf());
        Replay replay(std::move(head.bytes), in.rdbuf());
        std::istream file(&replay);
        if (head.layout == Layout::kTable) return readTable(file, head.legends, o);
        EnergyInput input = readSuiteCsv(file, o);
        if (!input.error.empty()) {
            input.energies.clear();
            input.enthalpies.clear();
        }
        return input;
    } catch (const std::bad_alloc&) {
        return {Layout::kTable, {}, {}, "not enough memory to read the file"};
    } catch (const std::exception&) {  // a read error while telling the layout
        return {Layout::kTable, {}, {}, "can not open or read the file"};
    }
}

}  // namespace quenvar_report
