#include "settings/settings_file.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <vector>

#include "settings/parser_text.h"
#include "settings/whole_number.h"

namespace {

constexpr std::int32_t kSettingsVersion = 1;
constexpr std::size_t kDeepestNesting = 64;  // containers around a value under a key
constexpr std::size_t kLargestSettingsFile = 1 << 20;
constexpr std::size_t kLongestValueShown = 40;  // of a value that is no number
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";  // some editors write one

// Walks the text for the JSON parser and notes how far it has read, which is all
// a message needs to say where the parser stands.
class TrackedIterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    TrackedIterator(const char* at, const char** furthest) : at_(at), furthest_(furthest) {}
    reference operator*() const { return *at_; }
    TrackedIterator& operator++() {
        *furthest_ = ++at_;
        return *this;
    }
    TrackedIterator operator++(int) {
        TrackedIterator before = *this;
        ++*this;
        return before;
    }
    bool operator==(const TrackedIterator& other) const { return at_ == other.at_; }

private:
    const char* at_;
    const char** furthest_;
};


// The JSON parser's events for one flat object of whole numbers or pairs of them.
// Any value under a key the program does not know is checked and skipped. A refusal stops the parse
// at once, with the reason in error_.
class SettingsReader {
public:
    explicit SettingsReader(std::string_view text) : text_(text) {
        if (text_.substr(0, kByteOrderMark.size()) == kByteOrderMark) lastEnd_ = kByteOrderMark.size();
    }

    std::optional<std::string> Read(SettingValues& values) {
        const std::string patched = settings_text::ForTheParser(text_);
        const char* begin = patched.empty() ? text_.data() : patched.data();
        const char* end = begin + text_.size();
        base_ = begin;
        furthest_ = begin;
        if (!nlohmann::json::sax_parse(TrackedIterator(begin, &furthest_), TrackedIterator(end, &furthest_), this))
            return error_;
        if (!versionSeen_) return std::string("not a Lumarq settings file (it has no \"lumarq\": 1)");
        values = read_;
        return std::nullopt;
    }

    // The parser's events.
    bool null() { return Scalar(); }
    bool boolean(bool) { return Scalar(); }
    bool string(std::string&) { return Scalar(); }
    bool binary(nlohmann::json::binary_t&) { return Scalar(); }  // not in JSON text
    bool number_integer(nlohmann::json::number_integer_t) { return Number(); }
    bool number_unsigned(nlohmann::json::number_unsigned_t) { return Number(); }
    bool number_float(nlohmann::json::number_float_t, const std::string&) { return Number(); }
    bool start_object(std::size_t) { return Open('{'); }
    bool start_array(std::size_t) { return Open('['); }
    bool end_object() { return Close(); }
    bool end_array() { return Close(); }
    bool key(std::string& name) {
        lastEnd_ = Taken();
        last_ = Last::key;
        if (open_.size() != 1) return true;
        key_ = name;
        field_ = Field::unknown;
        if (name == "lumarq") field_ = Field::version;
        for (std::size_t i = 0; i < kSettings.size(); ++i)
            if (name == kSettings[i].key) field_ = i;
        if (field_ == Field::unknown) return true;
        bool& seen = field_ == Field::version ? versionSeen_ : named_[field_];
        // Said once the ':' after it is read, as a key's other faults are.
        if (seen) givenTwice_ = "\"" + name + "\" is given twice";
        seen = true;
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) {
        // What the parser says, without the text it quotes, which may say anything.
        std::string_view complaint = error.what();
        complaint = complaint.substr(0, complaint.find("; last read: "));
        // A number beyond a double's range is still a number: one under a setting's
        // key is refused as any other that is no whole number.
        // A repeated key whose ':' was read is refused whatever its value holds.
        if (!givenTwice_.empty() && last_ == Last::key && SeparatorTaken(SkipSpace(lastEnd_), complaint))
            return Refuse(givenTwice_);
        MalformedAt(ParseErrorText(complaint));
        return false;
    }

private:
    enum class Last { opened, key, value };
    struct Field {
        static constexpr std::size_t version = kSettings.size();
        static constexpr std::size_t unknown = kSettings.size() + 1;
    };

    std::string_view text_;
    const char* base_ = nullptr;    // the text the parser reads
    const char* furthest_ = nullptr;  // how far it has read
    std::size_t lastEnd_ = 0;       // where the last token handled ends
    std::vector<char> open_;        // the containers open, '{' or '[', the settings object first
    bool closed_ = false;           // the settings object has ended
    Last last_ = Last::opened;
    std::string key_;               // the settings object's key being read
    std::size_t field_ = Field::unknown;
    std::size_t valueStart_ = 0;    // where its value begins
    bool versionSeen_ = false;
    std::array<bool, kSettings.size()> named_{};
    SettingValues read_;
    bool pair_ = false;              // the value being read may be a pair [FROM, TO]
    std::vector<std::string> pairTexts_;  // the numbers in it so far, as written
    std::string givenTwice_;  // the key just read names a setting already read
    std::string error_;

    std::size_t Taken() const { return static_cast<std::size_t>(furthest_ - base_); }
    std::size_t SkipSpace(std::size_t at) const {
        while (at < text_.size() && (text_[at] == ' ' || text_[at] == '\t' || text_[at] == '\n' || text_[at] == '\r'))
            ++at;
        return at;
    }
    int Line(std::size_t at) const {
        int line = 1;
        for (std::size_t i = 0; i < at && i < text_.size(); ++i) line += text_[i] == '\n';
        return line;
    }
    // Whether a ':' or ',' after the last token was taken, and is not the token
    // that stopped the parser (`complaint`: the parser's message).
    bool SeparatorTaken(std::size_t at, std::string_view complaint = {}) const {
        if (at >= text_.size() || (text_[at] != ':' && text_[at] != ',')) return false;
        const std::string unexpected = std::string("- unexpected '") + text_[at] + "'";
        return at + 1 < Taken() || complaint.find(unexpected) == std::string_view::npos;
    }
    // Where the token being handled begins.
    std::size_t TokenStart() const {
        const std::size_t at = SkipSpace(lastEnd_);
        return SeparatorTaken(at) ? SkipSpace(at + 1) : at;
    }

    bool Refuse(std::string reason) {
        error_ = std::move(reason);
        return false;
    }
    bool MalformedAt(std::pair<std::string, std::size_t> what) {
        return Refuse("malformed settings file (" + what.first + " at line " + std::to_string(Line(what.second)) + ")");
    }
    bool Malformed(std::string what) { return MalformedAt({std::move(what), TokenStart()}); }

    // Every value but the settings object itself.
    bool BeginValue() {
        if (open_.empty()) return Malformed("expected '{'");
        if (open_.size() - 1 > kDeepestNesting) return Malformed("values nested too deeply");
        if (open_.size() == 1) {
            if (!givenTwice_.empty()) return Refuse(givenTwice_);
            valueStart_ = TokenStart();
            pair_ = false;
        }
        return true;
    }
    bool Scalar() {
        if (!BeginValue()) return false;
        if (open_.size() == 2) pair_ = false;
        lastEnd_ = Taken();
        return EndValue();
    }
    bool Number() {
        if (!BeginValue()) return false;
        // The parser reads one character past a number: the number's end comes
        // from its own text.
        const std::size_t start = TokenStart();
        std::size_t at = start;
        auto digits = [&] {
            while (at < text_.size() && text_[at] >= '0' && text_[at] <= '9') ++at;
        };
        if (at < text_.size() && text_[at] == '-') ++at;
        if (at < text_.size() && text_[at] == '0' && at + 1 < text_.size() && text_[at + 1] >= '0' && text_[at + 1] <= '9')
            return Malformed("bad number");  // JSON has no leading zeros
        digits();
        if (at < text_.size() && text_[at] == '.') ++at, digits();
        if (at < text_.size() && (text_[at] == 'e' || text_[at] == 'E')) {
            ++at;
            if (at < text_.size() && (text_[at] == '+' || text_[at] == '-')) ++at;
            digits();
        }
        lastEnd_ = at;
        if (open_.size() == 2 && pair_) pairTexts_.emplace_back(text_.substr(start, at - start));
        return EndValue(true);
    }
    bool Open(char container) {
        if (open_.empty() && !closed_) {
            if (container != '{') return Malformed("expected '{'");
        } else if (!BeginValue()) {
            return false;
        }
        // Under a setting's key, an array may be a range; a container inside it is not.
        const bool mayBePair = open_.size() == 1 && container == '[' && field_ < kSettings.size();
        if (open_.size() == 2) pair_ = false;
        if (mayBePair) pair_ = true, pairTexts_.clear();
        open_.push_back(container);
        last_ = Last::opened;
        lastEnd_ = Taken();
        return true;
    }
    bool Close() {
        open_.pop_back();
        lastEnd_ = Taken();
        if (open_.empty()) {
            closed_ = true;
            return true;
        }
        return EndValue();
    }
    // A value has ended; one directly under a key the program knows is checked.
    bool EndValue(bool number = false) {
        last_ = Last::value;
        if (open_.size() != 1 || field_ == Field::unknown) return true;
        std::string raw(text_.substr(valueStart_, lastEnd_ - valueStart_));
        if (!number && raw.size() > kLongestValueShown) raw = raw.substr(0, kLongestValueShown - 3) + "...";
        std::string reason;
        if (field_ == Field::version) {
            if (!ParseWholeNumber(raw, kSettingsVersion, kSettingsVersion, reason, {.quoted = false}))
                return Refuse("\"lumarq\": " + raw + " is not a settings version this program reads (" +
                              std::to_string(kSettingsVersion) + ")");
            return true;
        }
        const SettingDescription& setting = kSettings[field_];
        if (!number && pair_ && pairTexts_.size() == 2) {
            const auto from = ParseWholeNumber(pairTexts_[0], setting.minimum, setting.maximum, reason, {.quoted = false});
            const auto to = from ? ParseWholeNumber(pairTexts_[1], setting.minimum, setting.maximum, reason, {.quoted = false})
                                 : std::nullopt;
            if (!to) return Refuse("\"" + key_ + "\": " + reason);
            read_[field_] = SettingValue{*from, *to};
            return true;
        }
        const auto value = ParseWholeNumber(raw, setting.minimum, setting.maximum, reason, {.quoted = false});
        if (!value) return Refuse("\"" + key_ + "\": " + reason);
        read_[field_] = SettingValue{*value, std::nullopt};
        return true;
    }

    // The parser's complaint in the words of what it expected where it stopped.
    std::pair<std::string, std::size_t> ParseErrorText(std::string_view what) const {
        const std::size_t at = SkipSpace(lastEnd_);
        const bool separatorTaken = SeparatorTaken(at, what);
        const std::size_t next = separatorTaken ? SkipSpace(at + 1) : at;
        // Within a string the line is where the string starts, but for an escape,
        // which may be a backslash at the end of a line.
        auto stringError = [&](std::size_t where) -> std::pair<std::string, std::size_t> {
            auto says = [&](std::string_view words) {
                return what.find(std::string("invalid string: ") + std::string(words)) != std::string_view::npos;
            };
            if (says("missing closing quote")) return {"unterminated string", where};
            if (says("control character")) return {"control character in a string", where};
            if (says("'\\u' must be followed") || says("surrogate")) return {"bad \\u escape", where};
            if (says("forbidden character after backslash")) {
                if (Taken() == text_.size() && text_.back() == '\\') return {"unterminated string", Taken()};
                return {"bad escape in a string", Taken()};
            }
            return {"bad UTF-8 in a string", where};
        };
        auto keyExpected = [&](std::size_t where) -> std::pair<std::string, std::size_t> {
            if (where < text_.size() && text_[where] == '"') return stringError(where);
            return {"expected a string in double quotes", where};
        };
        // Nesting is judged before the value itself.
        auto valueExpected = [&](std::size_t where) -> std::pair<std::string, std::size_t> {
            if (open_.size() - 1 > kDeepestNesting) return {"values nested too deeply", where};
            const char c = where < text_.size() ? text_[where] : '\0';
            if (c == '"') return stringError(where);
            if (c == '-' || (c >= '0' && c <= '9')) return {"bad number", where};
            return {"expected a value", where};
        };
        if (open_.empty()) return {closed_ ? "text after the closing '}'" : "expected '{'", at};
        const bool inArray = open_.back() == '[';
        switch (last_) {
            case Last::opened:
                return inArray ? valueExpected(at) : keyExpected(at);
            case Last::key:
                if (separatorTaken) return valueExpected(next);
                return {"expected ':' after a key", at};
            case Last::value:
                if (separatorTaken) return inArray ? valueExpected(next) : keyExpected(next);
                return {inArray ? "expected ',' or ']'" : "expected ',' or '}'", at};
        }
        return {"expected a value", at};
    }
};

}  // namespace

std::string SettingsJson(const RenderSettings& settings) { return SettingsJson(settings, settings); }

std::string SettingsJson(const RenderSettings& from, const RenderSettings& to) {
    std::string text = "{\"lumarq\": " + std::to_string(kSettingsVersion);
    for (const SettingDescription& setting : kSettings) {
        const std::int32_t a = from.*setting.member, b = to.*setting.member;
        text.append(", \"").append(setting.key).append("\": ");
        if (a == b) {
            text.append(std::to_string(a));
        } else {
            text.append("[").append(std::to_string(a)).append(", ").append(std::to_string(b)).append("]");
        }
    }
    return text + "}\n";
}

std::optional<std::string> ParseSettingsJson(std::string_view text, SettingValues& values) {
    return SettingsReader(text).Read(values);
}

std::optional<std::string> ReadSettingsJson(std::string_view text, RenderSettings& settings,
                                            std::array<bool, 8>* present) {
    SettingValues values;
    if (std::optional<std::string> error = ParseSettingsJson(text, values)) return error;
    std::array<bool, 8> named{};
    for (std::size_t i = 0; i < kSettings.size(); ++i) {
        named[i] = values[i].has_value();
        if (values[i]) settings.*kSettings[i].member = values[i]->value;  // a range's FROM
    }
    if (present) *present = named;
    return std::nullopt;
}

std::optional<std::string> ReadSettingsFile(const std::string& path, SettingValues& values) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "cannot be read (" + std::string(std::strerror(errno)) + ")";
    std::string text;
    char buffer[4096];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > kLargestSettingsFile) return std::string("is too large to be a settings file");
    }
    if (in.bad()) return std::string("cannot be read");
    return ParseSettingsJson(text, values);
}

std::optional<std::string> ReadSettingsFile(const std::string& path, RenderSettings& settings,
                                            std::array<bool, 8>* present) {
    SettingValues values;
    if (std::optional<std::string> error = ReadSettingsFile(path, values)) return error;
    for (std::size_t i = 0; i < kSettings.size(); ++i)
        if (values[i]) settings.*kSettings[i].member = values[i]->value;  // a range's FROM
    if (present)
        for (std::size_t i = 0; i < kSettings.size(); ++i) (*present)[i] = values[i].has_value();
    return std::nullopt;
}

SaveResult WriteSettingsFile(const std::string& path, const RenderSettings& settings) {
    const std::string text = SettingsJson(settings);
    return files::SaveFileAtomically(path, [&](int descriptor) { return files::WriteAll(descriptor, text.data(), text.size()); });
}
