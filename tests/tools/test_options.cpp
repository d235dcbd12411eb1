#include "Options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Varnik::Soloma::Cli;

namespace {

const std::vector<OptionInfo> kKnown = {
    {"input", "FILE", "input"}, {"limit", "N", "limit"}, {"gain", "X", "gain"}, {"fast", "", ""}};

}  // namespace

TEST(Options, ReadsValuesInBothSpellingsAndFlags) {
    Options options;
    std::string error;
    ASSERT_TRUE(options.Parse(kKnown, {"--input", "a.png", "--limit=-3", "--fast", "-h"}, &error))
        << error;
    EXPECT_EQ(options.Get("input"), "a.png");
    EXPECT_EQ(options.Get("limit"), "-3");
    EXPECT_TRUE(options.Has("fast"));
    EXPECT_TRUE(options.Has("help"));
    EXPECT_FALSE(options.Has("gain"));
    EXPECT_EQ(options.Get("gain", "1.5"), "1.5");
}

TEST(Options, RejectsMistakesWithTheirReason) {
    const struct {
        std::vector<std::string> args;
        const char* reason;
    } cases[] = {
        {{"--colour", "red"}, "unknown option '--colour'"},
        {{"--input"}, "needs a value"},
        {{"--input", "--fast"}, "needs a value"},
        {{"--input="}, "non-empty"},
        {{"--fast=yes"}, "takes no value"},
        {{"--input", "a", "--input", "b"}, "more than once"},
        {{"a.png"}, "unexpected argument 'a.png'"},
        {{"--"}, "unexpected argument"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        Options options;
        std::string error;
        EXPECT_FALSE(options.Parse(kKnown, c.args, &error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}
