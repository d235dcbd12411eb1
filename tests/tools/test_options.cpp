#include "Options.h"

#include <gtest/gtest.h>

#include <iterator>
#include <sstream>

using namespace Varnik::Soloma::Cli;

TEST(Options, ReadsBothSpellingsAndRejectsMistakes) {
    const std::vector<OptionInfo> known = {{"in", "FILE", ""}, {"n", "N", ""}, {"fast", "", ""}};
    Options options;
    std::string error;
    ASSERT_TRUE(options.Parse(known, {"--in", "a.png", "--n=-3", "--fast", "-h"}, &error));
    EXPECT_EQ(options.Get("in"), "a.png");
    EXPECT_EQ(options.Get("n"), "-3");
    EXPECT_TRUE(options.Has("fast") && options.Has("help"));
    // Unknown, valueless or wrongly valued, repeated and stray words; a value may not look
    // like an option, so that a forgotten value is not taken from the next option.
    for (const char* line : {"--colour red", "--in", "--in --fast", "--in=", "--fast=yes",
                             "--in a --in b", "a.png", "--"}) {
        std::istringstream words(line);
        const std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
        EXPECT_FALSE(Options().Parse(known, args, &error)) << line;
    }
}
