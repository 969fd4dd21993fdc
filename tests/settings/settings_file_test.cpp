// The settings file's reader on the texts people and other programs write, and
// the command line that names the same settings.
#include <gtest/gtest.h>

#include "settings/command_line.h"
#include "settings/settings_file.h"

namespace {

TEST(SettingsFile, ReadsWhatItWritesAndWhatPeopleWrite) {
    const RenderSettings look{33, 90, 10, 200, 30, -12, 7, 360};
    RenderSettings read;
    ASSERT_EQ(ReadSettingsJson(SettingsJson(look), read), std::nullopt);
    EXPECT_EQ(read, look);

    const struct {
        const char* text;
        RenderSettings expected;
    } accepted[] = {
        // Only what the file names changes; unknown keys of any shape are skipped.
        {"\xEF\xBB\xBF{ \"angle\" : 45 ,\r\n\t\"lumarq\":1, \"zoom\": {\"a\": [1, -2.5e3, \"}\\\"\", true, null, {}]}}",
         {13, 160, 255, 0, 0, 0, 0, 45}},
        {"{\"lumarq\": 1, \"x\": -0, \"y\": -1500, \"\\u0070attern\": 65}", {65, 160, 255, 0, 0, 0, -1500, 0}},
    };
    for (const auto& file : accepted) {
        RenderSettings settings;
        std::array<bool, 8> present{};
        EXPECT_EQ(ReadSettingsJson(file.text, settings, &present), std::nullopt) << file.text;
        EXPECT_EQ(settings, file.expected) << file.text;
    }
}

// A range reads as a pair where ranges are wanted and as its FROM value where one
// value is; what is written with ranges reads back the same.
TEST(SettingsFile, RangesAreWrittenAndReadAsPairs) {
    RenderSettings from, to;
    from.XOffset = 5, to.XOffset = -1500, to.Angle = 360, from.Red = to.Red = 7;
    const std::string text = SettingsJson(from, to);
    EXPECT_EQ(text, "{\"lumarq\": 1, \"pattern\": 13, \"detector\": 160, \"red\": 7, \"green\": 0, \"blue\": 0, "
                    "\"x\": [5, -1500], \"y\": 0, \"angle\": [0, 360]}\n");
    SettingValues values;
    ASSERT_EQ(ParseSettingsJson(text, values), std::nullopt);
    for (std::size_t i = 0; i < kSettings.size(); ++i) {
        const SettingDescription& setting = kSettings[i];
        ASSERT_TRUE(values[i]) << setting.key;
        EXPECT_EQ(values[i]->value, from.*setting.member) << setting.key;
        EXPECT_EQ(values[i]->to.value_or(from.*setting.member), to.*setting.member) << setting.key;
        EXPECT_EQ(values[i]->to.has_value(), from.*setting.member != to.*setting.member) << setting.key;
    }
    RenderSettings still;
    ASSERT_EQ(ReadSettingsJson("{\"lumarq\": 1, \"x\": [-5, -600],\n \"red\": [ 255 , 0 ]}", still), std::nullopt);
    EXPECT_EQ(still, (RenderSettings{13, 160, 255, 0, 0, -5, 0, 0}));
}

TEST(SettingsFile, RefusesWhatItCannotTrustAndChangesNothing) {
    const std::string deep = "{\"lumarq\": 1, \"x\": " + std::string(100, '[') + std::string(100, ']') + "}";
    const struct {
        std::string text, error;
    } refused[] = {
        {"", "malformed settings file (expected '{' at line 1)"},
        {"{\"lumarq\": 1, \"pattern\": 3,}", "malformed settings file (expected a string in double quotes at line 1)"},
        {"{\"lumarq\": 1}\n{}", "malformed settings file (text after the closing '}' at line 2)"},
        {"{\"lumarq\": 1, \"red\": 012}", "malformed settings file (bad number at line 1)"},
        {"{\"lumarq\": 1, \"red\": \"12\"}", "\"red\": \"12\" is not a whole number (0..255)"},
        {"{\"lumarq\": 1, \"red\": 1e2}", "\"red\": 1e2 is not a whole number (0..255)"},
        {"{\"lumarq\": 1, \"y\": -99999999999999999999999}", "\"y\": -99999999999999999999999 is out of range (-1500..1500)"},
        {"{\"lumarq\": 1, \"red\": 1, \"red\": 2}", "\"red\" is given twice"},
        {"{\"lumarq\": 2, \"red\": 1}", "\"lumarq\": 2 is not a settings version this program reads (1)"},
        {"{\"red\": 1}", "not a Lumarq settings file (it has no \"lumarq\": 1)"},
        {"{\"lumarq\": 1, \"red\": 1, \"name\": \"a\nb\"}", "malformed settings file (control character in a string at line 1)"},
        {deep, "malformed settings file (values nested too deeply at line 1)"},
        // A range is a pair of whole numbers, each within the setting's range.
        {"{\"lumarq\": 1, \"x\": [0, -1501]}", "\"x\": -1501 is out of range (-1500..1500)"},
        {"{\"lumarq\": 1, \"x\": [2.5, 0]}", "\"x\": 2.5 is not a whole number (-1500..1500)"},
        {"{\"lumarq\": 1, \"x\": [0]}", "\"x\": [0] is not a whole number (-1500..1500)"},
        {"{\"lumarq\": 1, \"x\": [0, 1, 2]}", "\"x\": [0, 1, 2] is not a whole number (-1500..1500)"},
        {"{\"lumarq\": 1, \"x\": [[0], 1]}", "\"x\": [[0], 1] is not a whole number (-1500..1500)"},
        {"{\"lumarq\": 1, \"x\": [0, \"1\"]}", "\"x\": [0, \"1\"] is not a whole number (-1500..1500)"},
        {"{\"lumarq\": [1, 1]}", "\"lumarq\": [1, 1] is not a settings version this program reads (1)"},
    };
    for (const auto& file : refused) {
        RenderSettings settings{1, 2, 3, 4, 5, 6, 7, 8};
        EXPECT_EQ(ReadSettingsJson(file.text, settings).value_or("accepted"), file.error) << file.text;
        EXPECT_EQ(settings, (RenderSettings{1, 2, 3, 4, 5, 6, 7, 8})) << file.text;
    }
}

// Where a JSON parser on its own would refuse or word things otherwise, the file
// keeps its own rules: bytes beyond ASCII, lone surrogates and numbers beyond a
// double under unknown keys pass, values are quoted as written (long ones cut
// short, numbers never), and each complaint names the line where it arises.
TEST(SettingsFile, KeepsItsOwnRulesOverTheParsers) {
    const std::string longNumber(45, '9');
    const struct {
        std::string text, error;
    } files[] = {
        {"{\"lumarq\": 1, \"caf\xE9\": \"\xFF\\ud800\", \"zoom\": [1e999, -1E+400], \"red\": 7}", "red 7"},
        {"{\"lumarq\": 1, \"red\": " + longNumber + "}", "\"red\": " + longNumber + " is out of range (0..255)"},
        {"{\"lumarq\": 1, \"red\": 1e999}", "\"red\": 1e999 is not a whole number (0..255)"},
        {"{\"lumarq\": 1, \"red\": [1,\n 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15]}",
         "\"red\": [1,\n 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, ... is not a whole number (0..255)"},
        {"{\"lumarq\": 1,\n\"red\":\n\n x}", "malformed settings file (expected a value at line 4)"},
        {"{\"lumarq\": 1, \"a\": \"\\\n\"}", "malformed settings file (bad escape in a string at line 2)"},
        {"{\"lumarq\": 1,\n \"a\" , 1}", "malformed settings file (expected ':' after a key at line 2)"},
        {"{\"lumarq\": 1, \"a\": [1 :]}", "malformed settings file (expected ',' or ']' at line 1)"},
        {"{\"lumarq\": 1, \"a\": \"abc", "malformed settings file (unterminated string at line 1)"},
        {"{\"lumarq\": 1, \"a\": \"\\u12\"}", "malformed settings file (bad \\u escape at line 1)"},
        {"\n\n[]", "malformed settings file (expected '{' at line 3)"},
        {"{\"lumarq\": 1, \"invalid string: missing closing quote\x14\"}",
         "malformed settings file (control character in a string at line 1)"},
    };
    for (const auto& file : files) {
        RenderSettings settings;
        const std::optional<std::string> error = ReadSettingsJson(file.text, settings);
        EXPECT_EQ(error.value_or("red " + std::to_string(settings.Red)), file.error) << file.text;
    }
}

TEST(SettingsFile, CommandLineNamesOnlyWhatDiffersAndQuotesNames) {
    RenderSettings settings;
    settings.Angle = 90;
    EXPECT_EQ(RenderCommandLine(settings, "-in 'a'.bmp", "out.bmp"),
              "lumarq-render --angle 90 -o 'out.bmp' -- '-in '\\''a'\\''.bmp'");
    EXPECT_EQ(RenderCommandLine(RenderSettings{}, "a b.bmp", "c.bmp"), "lumarq-render -o 'c.bmp' 'a b.bmp'");
}

}  // namespace
