#include "raster/render_settings_file.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <limits>

const std::array<SettingField, 8> kSettingFields = {{
    {"pattern", 0, 65, &RenderSettings::Pattern},
    {"detector", 0, 255, &RenderSettings::Detector},
    {"red", 0, 255, &RenderSettings::Red},
    {"green", 0, 255, &RenderSettings::Green},
    {"blue", 0, 255, &RenderSettings::Blue},
    {"x", -1500, 1500, &RenderSettings::XOffset},
    {"y", -1500, 1500, &RenderSettings::YOffset},
    {"angle", 0, 360, &RenderSettings::Angle},
}};

namespace {

constexpr std::int32_t kSettingsVersion = 1;
constexpr int kDeepestNesting = 64;              // of values skipped under unknown keys
constexpr std::size_t kLargestSettingsFile = 1 << 20;

struct Malformed {
    std::string what;
};

// Just enough JSON for one flat object of numbers: strings are decoded only as far
// as comparing keys needs, and any value under a key the program does not know is
// checked and skipped.
class SettingsParser {
public:
    explicit SettingsParser(std::string_view text) : text_(text) {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") at_ = 3;  // a byte order mark some editors write
    }

    std::optional<std::string> Read(RenderSettings& settings, std::array<bool, 8>& present) {
        try {
            return ReadObject(settings, present);
        } catch (const Malformed& error) {
            return "malformed settings file (" + error.what + " at line " + std::to_string(Line()) + ")";
        }
    }

private:
    std::string_view text_;
    std::size_t at_ = 0;

    int Line() const {
        int line = 1;
        for (std::size_t i = 0; i < at_ && i < text_.size(); ++i) line += text_[i] == '\n';
        return line;
    }
    [[noreturn]] void Fail(std::string what) { throw Malformed{std::move(what)}; }

    void SkipSpace() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }
    char Peek() {
        SkipSpace();
        return at_ < text_.size() ? text_[at_] : '\0';
    }
    void Expect(char c, const char* what) {
        if (Peek() != c) Fail(std::string("expected ") + what);
        ++at_;
    }

    std::optional<std::string> ReadObject(RenderSettings& settings, std::array<bool, 8>& present) {
        Expect('{', "'{'");
        RenderSettings read = settings;
        std::array<bool, 8> named{};
        bool versionSeen = false;
        if (Peek() == '}') {
            ++at_;
        } else {
            for (;;) {
                const std::string key = ReadString();
                Expect(':', "':' after a key");
                std::size_t field = kSettingFields.size();
                for (std::size_t i = 0; i < kSettingFields.size(); ++i)
                    if (key == kSettingFields[i].key) field = i;
                if (key == "lumarq" || field < kSettingFields.size()) {
                    bool& seen = key == "lumarq" ? versionSeen : named[field];
                    if (seen) return "\"" + key + "\" is given twice";
                    seen = true;
                    if (key == "lumarq") {
                        const auto [raw, value] = ReadInteger();
                        if (value != kSettingsVersion)
                            return "\"lumarq\": " + raw + " is not a settings version this program reads (" +
                                   std::to_string(kSettingsVersion) + ")";
                    } else {
                        const SettingField& f = kSettingFields[field];
                        const auto [raw, value] = ReadInteger();
                        const std::string range = std::to_string(f.minimum) + ".." + std::to_string(f.maximum);
                        if (!value) return "\"" + key + "\": " + raw + " is not a whole number (" + range + ")";
                        if (*value < f.minimum || *value > f.maximum)
                            return "\"" + key + "\": " + raw + " is out of range (" + range + ")";
                        read.*f.member = static_cast<std::int32_t>(*value);
                    }
                } else {
                    SkipValue(0);
                }
                const char next = Peek();
                ++at_;
                if (next == '}') break;
                if (next != ',') {
                    --at_;
                    Fail("expected ',' or '}'");
                }
            }
        }
        if (Peek() != '\0') Fail("text after the closing '}'");
        if (!versionSeen) return std::string("not a Lumarq settings file (it has no \"lumarq\": 1)");
        settings = read;
        present = named;
        return std::nullopt;
    }

    std::string ReadString() {
        Expect('"', "a string in double quotes");
        std::string out;
        for (;;) {
            if (at_ >= text_.size()) Fail("unterminated string");
            const char c = text_[at_++];
            if (c == '"') return out;
            if (static_cast<unsigned char>(c) < 0x20) {
                --at_;  // reported on its own line
                Fail("control character in a string");
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= text_.size()) Fail("unterminated string");
            const char escaped = text_[at_++];
            switch (escaped) {
                case '"': case '\\': case '/': out += escaped; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    unsigned code = 0;
                    if (at_ + 4 > text_.size() ||
                        std::from_chars(text_.data() + at_, text_.data() + at_ + 4, code, 16).ptr != text_.data() + at_ + 4)
                        Fail("bad \\u escape");
                    at_ += 4;
                    // Keys are compared as UTF-8; a lone surrogate half simply matches no key.
                    if (code < 0x80) {
                        out += static_cast<char>(code);
                    } else if (code < 0x800) {
                        out += static_cast<char>(0xC0 | (code >> 6));
                        out += static_cast<char>(0x80 | (code & 0x3F));
                    } else {
                        out += static_cast<char>(0xE0 | (code >> 12));
                        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                        out += static_cast<char>(0x80 | (code & 0x3F));
                    }
                    break;
                }
                default: Fail("bad escape in a string");
            }
        }
    }

    // A number in JSON's grammar; the text as written, and its value when it is a
    // whole number that fits (nothing for fractions, exponents and other values).
    std::pair<std::string, std::optional<long long>> ReadInteger() {
        const char c = Peek();
        if (c != '-' && (c < '0' || c > '9')) {
            const std::size_t start = at_;
            SkipValue(0);
            std::string raw(text_.substr(start, at_ - start));
            if (raw.size() > 40) raw = raw.substr(0, 37) + "...";
            return {raw, std::nullopt};
        }
        const std::size_t start = at_;
        bool whole = true;
        if (text_[at_] == '-') ++at_;
        auto digits = [&] {
            const std::size_t from = at_;
            while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
            return at_ - from;
        };
        const std::size_t intStart = at_;
        const std::size_t intDigits = digits();
        if (intDigits == 0 || (intDigits > 1 && text_[intStart] == '0')) Fail("bad number");
        if (at_ < text_.size() && text_[at_] == '.') {
            ++at_;
            if (digits() == 0) Fail("bad number");
            whole = false;
        }
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            ++at_;
            if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
            if (digits() == 0) Fail("bad number");
            whole = false;
        }
        std::string raw(text_.substr(start, at_ - start));
        if (!whole) return {raw, std::nullopt};
        long long value = 0;
        if (std::from_chars(raw.data(), raw.data() + raw.size(), value).ec != std::errc()) {
            // Too long for any range: out of range all the same.
            value = raw[0] == '-' ? std::numeric_limits<long long>::min() : std::numeric_limits<long long>::max();
        }
        return {raw, value};
    }

    void SkipValue(int depth) {
        if (depth > kDeepestNesting) Fail("values nested too deeply");
        const char c = Peek();
        if (c == '"') {
            ReadString();
        } else if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            ++at_;
            if (Peek() == close) {
                ++at_;
                return;
            }
            for (;;) {
                if (c == '{') {
                    ReadString();
                    Expect(':', "':' after a key");
                }
                SkipValue(depth + 1);
                const char next = Peek();
                if (next == close) {
                    ++at_;
                    return;
                }
                Expect(',', c == '{' ? "',' or '}'" : "',' or ']'");
            }
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            ReadInteger();
        } else {
            for (const std::string_view word : {"true", "false", "null"})
                if (text_.substr(at_, word.size()) == word) {
                    at_ += word.size();
                    return;
                }
            Fail("expected a value");
        }
    }
};

}  // namespace

std::string SettingsJson(const RenderSettings& settings) {
    std::string text = "{\"lumarq\": " + std::to_string(kSettingsVersion);
    for (const SettingField& field : kSettingFields)
        text += std::string(", \"") + field.key + "\": " + std::to_string(settings.*field.member);
    return text + "}\n";
}

std::optional<std::string> ReadSettingsJson(std::string_view text, RenderSettings& settings,
                                            std::array<bool, 8>* present) {
    std::array<bool, 8> named{};
    const std::optional<std::string> error = SettingsParser(text).Read(settings, named);
    if (!error && present) *present = named;
    return error;
}

std::optional<std::string> ReadSettingsFile(const std::string& path, RenderSettings& settings,
                                            std::array<bool, 8>* present) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "cannot be read (" + std::string(std::strerror(errno)) + ")";
    std::string text;
    char buffer[4096];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > kLargestSettingsFile) return std::string("is too large to be a settings file");
    }
    if (in.bad()) return std::string("cannot be read");
    return ReadSettingsJson(text, settings, present);
}

SaveResult WriteSettingsFile(const std::string& path, const RenderSettings& settings) {
    const std::string text = SettingsJson(settings);
    return raster::SaveFileAtomically(path, [&](int descriptor) { return raster::WriteAll(descriptor, text.data(), text.size()); });
}

std::string ShellQuote(std::string_view word) {
    std::string quoted = "'";
    for (const char c : word) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string RenderCommandLine(const RenderSettings& settings, const std::string& input, const std::string& output) {
    const RenderSettings defaults;
    std::string command = "lumarq-render";
    for (const SettingField& field : kSettingFields)
        if (settings.*field.member != defaults.*field.member)
            command += std::string(" --") + field.key + " " + std::to_string(settings.*field.member);
    command += " -o " + ShellQuote(output);
    // A name that starts with a dash would otherwise be read as an option.
    if (!input.empty() && input[0] == '-') command += " --";
    return command + " " + ShellQuote(input);
}
