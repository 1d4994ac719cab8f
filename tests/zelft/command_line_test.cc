// The command line: commands, operands, options before and after them, and
// the refusals that make exit code 2.
#include <gtest/gtest.h>

#include "zelft/command_line.h"

namespace zelft {
namespace {

struct Parsed {
    bool ok = false;
    Invocation invocation;
    std::string error;
};

Parsed Parse(std::vector<std::string> arguments) {
    Parsed parsed;
    parsed.ok = ParseCommandLine(arguments, &parsed.invocation, &parsed.error);
    return parsed;
}

TEST(CommandLine, GetTakesTheRemoteFileAndAnOptionalLocalOne) {
    Parsed parsed = Parse({"get", "host::a.txt", "b.txt"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.invocation.command, Command::kGet);
    EXPECT_EQ(parsed.invocation.operands, (std::vector<std::string>{"host::a.txt", "b.txt"}));
    EXPECT_FALSE(Parse({"get"}).ok);
    EXPECT_FALSE(Parse({"get", "a", "b", "c"}).ok);
}

TEST(CommandLine, ImageIsTheDefaultModeAndTextChangesIt) {
    EXPECT_EQ(Parse({"get", "h::a"}).invocation.mode, RFA_MODE_IMAGE);
    EXPECT_EQ(Parse({"get", "--text", "h::a"}).invocation.mode, RFA_MODE_TEXT);
    EXPECT_EQ(Parse({"get", "--text", "--image", "h::a"}).invocation.mode, RFA_MODE_IMAGE);
}

TEST(CommandLine, OptionsMayStandBeforeTheCommandOrAfterItsArguments) {
    Parsed parsed = Parse({"--trace", "t.txt", "dir", "h::", "--full", "--user=smith"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.invocation.traceFile, "t.txt");
    EXPECT_TRUE(parsed.invocation.full);
    EXPECT_EQ(parsed.invocation.user, "smith");
    EXPECT_EQ(parsed.invocation.operands, std::vector<std::string>{"h::"});
}

TEST(CommandLine, DoubleDashEndsTheOptions) {
    Parsed parsed = Parse({"put", "--", "--odd-name", "h::dir/"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.invocation.operands, (std::vector<std::string>{"--odd-name", "h::dir/"}));
}

TEST(CommandLine, CopyAttributesAreGivenOnlyWhenAnOptionAsksForThem) {
    EXPECT_FALSE(Parse({"put", "a", "h::"}).invocation.hasAttributes);
    Parsed parsed = Parse({"put", "--record-format", "variable", "--record-attributes", "cr", "--max-record-size",
                           "0x200", "--allocation", "40", "a", "h::"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_TRUE(parsed.invocation.hasAttributes);
    EXPECT_EQ(parsed.invocation.attributes.recordFormat, 4);
    EXPECT_EQ(parsed.invocation.attributes.recordAttributes, 0x08);
    EXPECT_EQ(parsed.invocation.attributes.maxRecordSize, 512);
    EXPECT_EQ(parsed.invocation.attributes.allocation, 40u);
    // The fields no option set keep the values of a copy without a description.
    EXPECT_EQ(parsed.invocation.attributes.transferMode, 2);
    EXPECT_EQ(Parse({"get", "--record-format", "3", "h::a"}).invocation.attributes.recordFormat, 3);
}

TEST(CommandLine, AttributeValuesOutOfRangeAreRefused) {
    EXPECT_FALSE(Parse({"get", "--record-format", "7", "h::a"}).ok);
    EXPECT_FALSE(Parse({"get", "--record-attributes", "129", "h::a"}).ok);
    EXPECT_TRUE(Parse({"get", "--record-attributes", "128", "h::a"}).ok);
    EXPECT_FALSE(Parse({"get", "--max-record-size", "65536", "h::a"}).ok);
    EXPECT_FALSE(Parse({"get", "--allocation", "-1", "h::a"}).ok);
    EXPECT_FALSE(Parse({"get", "--allocation", "12x", "h::a"}).ok);
}

TEST(CommandLine, AnOptionOfAnotherCommandIsRefused) {
    Parsed parsed = Parse({"get", "--full", "h::a"});
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ(parsed.error, "--full does not apply to get");
    EXPECT_FALSE(Parse({"dir", "--text", "h::"}).ok);
    EXPECT_FALSE(Parse({"delete", "--set", "W:", "h::a"}).ok);
}

TEST(CommandLine, UnknownCommandsAndOptionsAndMissingValuesAreRefused) {
    EXPECT_EQ(Parse({"fetch", "h::a"}).error, "unknown command 'fetch' (see zelft --help)");
    EXPECT_EQ(Parse({"get", "--fast", "h::a"}).error, "unknown option --fast (see zelft --help)");
    EXPECT_EQ(Parse({"get", "h::a", "--trace"}).error, "--trace needs a value (FILE)");
    EXPECT_EQ(Parse({"get", "--quiet=yes", "h::a"}).error, "--quiet takes no value");
    EXPECT_FALSE(Parse({}).ok);
}

TEST(CommandLine, QuietAndVerboseTogetherAreRefused) {
    EXPECT_FALSE(Parse({"dir", "-q", "-v", "h::"}).ok);
    EXPECT_TRUE(Parse({"dir", "-q", "h::"}).invocation.quiet);
}

TEST(CommandLine, TraceAppendNeedsATraceFile) {
    EXPECT_FALSE(Parse({"dir", "--trace-append", "h::"}).ok);
    EXPECT_TRUE(Parse({"dir", "--trace-append", "--trace", "t", "h::"}).ok);
}

TEST(CommandLine, RevisionDateImpliesAFullListing) {
    Parsed parsed = Parse({"dir", "--revision-date", "h::"});
    ASSERT_TRUE(parsed.ok);
    EXPECT_TRUE(parsed.invocation.full);
    EXPECT_TRUE(parsed.invocation.revisionDate);
}

TEST(CommandLine, ProtectionSetIsParsedIntoTheRecord) {
    Parsed parsed = Parse({"protection", "h::a", "--set", "O:RWED,W:"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_TRUE(parsed.invocation.setProtection);
    EXPECT_EQ(parsed.invocation.protection.present, RFA_PROT_OWNER_ACCESS | RFA_PROT_WORLD);
    EXPECT_EQ(parsed.invocation.protection.world, 0x0Fu);
    EXPECT_FALSE(Parse({"protection", "h::a", "--set", "X:R"}).ok);
}

TEST(CommandLine, HelpAndVersionNeedNoArguments) {
    EXPECT_TRUE(Parse({"--version"}).invocation.version);
    Parsed help = Parse({"get", "--help"});
    ASSERT_TRUE(help.ok);
    EXPECT_TRUE(help.invocation.help);
    EXPECT_EQ(help.invocation.command, Command::kGet);
    Parsed helpCommand = Parse({"help", "put"});
    ASSERT_TRUE(helpCommand.ok);
    EXPECT_TRUE(helpCommand.invocation.help);
    EXPECT_EQ(helpCommand.invocation.command, Command::kPut);
    EXPECT_FALSE(Parse({"help", "nothing"}).ok);
}

TEST(CommandLine, TheHelpOfACommandListsOnlyItsOptions) {
    const std::string dir = HelpText(Command::kDir);
    EXPECT_NE(dir.find("usage: zelft dir [OPTIONS] NODE::[SPEC]"), std::string::npos);
    EXPECT_NE(dir.find("--revision-date"), std::string::npos);
    EXPECT_EQ(dir.find("--record-format"), std::string::npos);
    const std::string general = HelpText(Command::kNone);
    for (const CommandInfo& info : AllCommands()) EXPECT_NE(general.find(info.name), std::string::npos) << info.name;
}

}  // namespace
}  // namespace zelft
