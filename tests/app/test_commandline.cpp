#include <gtest/gtest.h>

#include "app/commandline.h"

namespace {
CommandLine Parse(QStringList rest) {
    rest.prepend(QStringLiteral("/usr/bin/vidazorov"));
    return ParseCommandLine(rest);
}
}  // namespace

TEST(CommandLine, NoArgumentsRunsWithoutAProtocol) {
    const CommandLine cl = Parse({});
    EXPECT_EQ(cl.action, CommandLine::Action::Run);
    EXPECT_TRUE(cl.protocolFile.isEmpty());
    EXPECT_EQ(cl.programName, "vidazorov");
}

TEST(CommandLine, HelpAndVersionInEitherSpellingAndHelpWins) {
    for (const char* a : {"-h", "--help"})
        EXPECT_EQ(Parse({a}).action, CommandLine::Action::Help) << a;
    for (const char* a : {"-v", "--version"})
        EXPECT_EQ(Parse({a}).action, CommandLine::Action::Version) << a;
    EXPECT_EQ(Parse({"--version", "--help"}).action, CommandLine::Action::Help);
    EXPECT_EQ(Parse({"race.txt", "--version"}).action, CommandLine::Action::Version);
    EXPECT_TRUE(Parse({"race.txt", "--version"}).protocolFile.isEmpty());
}

TEST(CommandLine, OneProtocolFileAnywhereAndAfterTheEndOfOptions) {
    EXPECT_EQ(Parse({"race.txt"}).protocolFile, "race.txt");
    EXPECT_EQ(Parse({"-style", "fusion", "/tmp/a b.txt"}).protocolFile, "/tmp/a b.txt");
    const CommandLine dashed = Parse({"--", "--help"});
    EXPECT_EQ(dashed.action, CommandLine::Action::Run);
    EXPECT_EQ(dashed.protocolFile, "--help");
    const CommandLine two = Parse({"a.txt", "b.txt"});
    EXPECT_EQ(two.action, CommandLine::Action::Error);
    EXPECT_TRUE(two.protocolFile.isEmpty());
    EXPECT_TRUE(two.error.contains("only one protocol"));
}

TEST(CommandLine, UnknownOptionsAreErrorsThatNameTheOption) {
    for (const char* a : {"--frobnicate", "-x", "--help=me", "--versions", "-hv"}) {
        const CommandLine cl = Parse({a, "race.txt"});
        EXPECT_EQ(cl.action, CommandLine::Action::Error) << a;
        EXPECT_TRUE(cl.error.contains(QLatin1String(a))) << cl.error.toStdString();
        EXPECT_TRUE(cl.protocolFile.isEmpty());
    }
    // An error is reported even when help was asked for as well: the command was mistyped.
    EXPECT_EQ(Parse({"--help", "--bogus"}).action, CommandLine::Action::Error);
    const QString text = ErrorText(Parse({"--bogus"}));
    EXPECT_EQ(text,
              "vidazorov: unknown option '--bogus'\n"
              "Try 'vidazorov --help' for more information.\n");
}

TEST(CommandLine, LiveTakesAPortForThisRun) {
    EXPECT_EQ(Parse({}).livePort, 0);
    for (const QStringList& args : {QStringList{"--live", "8080"}, QStringList{"--live=8080"},
                                    QStringList{"race.txt", "--live", "8080"}}) {
        const CommandLine cl = Parse(args);
        EXPECT_EQ(cl.action, CommandLine::Action::Run) << args.join(' ').toStdString();
        EXPECT_EQ(cl.livePort, 8080);
    }
    EXPECT_EQ(Parse({"--live", "8080", "race.txt"}).protocolFile, "race.txt");
    // The port is never taken for a protocol, nor a protocol for the port.
    for (const QStringList& args :
         {QStringList{"--live"}, QStringList{"--live", "race.txt"}, QStringList{"--live", "0"},
          QStringList{"--live", "65536"}, QStringList{"--live=-1"}, QStringList{"--live="}}) {
        const CommandLine cl = Parse(args);
        EXPECT_EQ(cl.action, CommandLine::Action::Error) << args.join(' ').toStdString();
        EXPECT_TRUE(cl.error.contains(QLatin1String("--live"))) << cl.error.toStdString();
    }
    EXPECT_TRUE(HelpText("vidazorov").contains("--live PORT"));
}

TEST(CommandLine, ToolkitOptionsPassWithTheirValues) {
    // A session manager restarts the program with -session; styles and platforms are chosen
    // the same way. Their values are never taken for a protocol file.
    for (const QStringList& args :
         {QStringList{"-session", "1234abc"}, QStringList{"--style=fusion"},
          QStringList{"-platform", "offscreen"}, QStringList{"--platform", "xcb"},
          QStringList{"-reverse"}, QStringList{"-display", ":1"}}) {
        const CommandLine cl = Parse(args);
        EXPECT_EQ(cl.action, CommandLine::Action::Run) << args.join(' ').toStdString();
        EXPECT_TRUE(cl.protocolFile.isEmpty()) << args.join(' ').toStdString();
    }
    const CommandLine missing = Parse({"-style"});
    EXPECT_EQ(missing.action, CommandLine::Action::Error);
    EXPECT_TRUE(missing.error.contains("needs a value"));
    EXPECT_EQ(Parse({"-reverse=1"}).action, CommandLine::Action::Error);
}

TEST(CommandLine, TextsNameTheProgramAndItsVersion) {
    EXPECT_EQ(VersionText("vidazorov"), "vidazorov 1.1\n");
    const QString help = HelpText("vidazorov");
    EXPECT_TRUE(help.startsWith("Usage: vidazorov [OPTION]... [PROTOCOL]\n"));
    EXPECT_TRUE(help.contains("--help"));
    EXPECT_TRUE(help.contains("--version"));
}
