#include <gtest/gtest.h>

#include <unistd.h>
#include <random>

#include "platform/ScriptingService.h"

namespace nimbla::platform {
namespace {

using namespace std::string_literals;

std::string statement(const std::string& literalBody) {
    return "do shell script \"" + literalBody + "\" with administrator privileges";
}

long errorNumber(const ScriptOutcome& outcome) {
    return outcome.error ? std::get<long>(outcome.error->entries.at("NSAppleScriptErrorNumber"))
                         : 0;
}

std::string errorMessage(const ScriptOutcome& outcome) {
    return std::get<std::string>(outcome.error->entries.at("NSAppleScriptErrorMessage"));
}

TEST(AppleScriptString, DecodesTheFiveEscapesAndNothingElse) {
    std::size_t end = 0;
    const std::string source = R"(x"a\"b\\c\nd\re\tf" tail)";
    EXPECT_EQ(parseAppleScriptString(source, 1, end), "a\"b\\c\nd\re\tf");
    EXPECT_EQ(end, source.find(" tail"));
    // Raw line breaks and any other byte are taken as they are.
    EXPECT_EQ(parseAppleScriptString("\"a\nb\x01\xff\"", 0, end), "a\nb\x01\xff");
    EXPECT_EQ(parseAppleScriptString("\"\"", 0, end), "");
    EXPECT_EQ(end, 2u);

    EXPECT_EQ(parseAppleScriptString(R"("a\qb")", 0, end), std::nullopt);
    EXPECT_EQ(end, 2u);
    EXPECT_EQ(parseAppleScriptString(R"("abc)", 0, end), std::nullopt);
    EXPECT_EQ(end, 4u);
    EXPECT_EQ(parseAppleScriptString(R"("abc\")", 0, end), std::nullopt);
    EXPECT_EQ(parseAppleScriptString("\"abc\\", 0, end), std::nullopt);
    EXPECT_EQ(parseAppleScriptString("x\"a\"", 0, end), std::nullopt);
    EXPECT_EQ(parseAppleScriptString("\"a\"", 3, end), std::nullopt);
    EXPECT_EQ(parseAppleScriptString("", 0, end), std::nullopt);
}

TEST(AppleScriptString, RandomInputNeverCrashesOrOverreads) {
    std::mt19937 random(20250314);
    const std::string alphabet = "\"\\nrt aZ\n\r\t\0\x7f\xc3"s;
    std::uniform_int_distribution<std::size_t> length(0, 40);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    for (int i = 0; i < 200000; ++i) {
        std::string input(length(random), ' ');
        for (char& c : input) {
            c = alphabet[pick(random)];
        }
        // Exact-size heap copies so that AddressSanitizer sees any read past the end.
        const std::string source(input.begin(), input.end());
        for (std::size_t pos = 0; pos <= source.size(); ++pos) {
            std::size_t end = 0;
            if (auto text = parseAppleScriptString(source, pos, end)) {
                ASSERT_LE(end, source.size());
                ASSERT_EQ(source[end - 1], '"');
                ASSERT_LE(text->size(), end - pos);
            }
        }
    }
}

TEST(AppleScriptStatement, AnythingButTheOneStatementIsASyntaxError) {
    const std::vector<std::string> wrong = {
        "",
        "do shell script",
        "do shell script \"true\"",
        "do shell script \"true\" with administrator",
        "do shell script \"true\" with administrator privileges and more",
        "do shell script \"true\" with administrator privileges\ndo shell script \"rm\"",
        "do shell scripts \"true\" with administrator privileges",
        "doshell script \"true\" with administrator privileges",
        "do shell script true with administrator privileges",
        "do shell script \"tr\\ue\" with administrator privileges",
        "do shell script \"tr\0ue\" with administrator privileges"s,
        "display dialog \"hi\"",
        "do shell script \"true\"\" with administrator privileges",
    };
    for (const std::string& source : wrong) {
        ScriptOutcome outcome = executeAppleScript(source);
        ASSERT_TRUE(outcome.error) << source;
        EXPECT_EQ(errorNumber(outcome), -2741) << source;
        EXPECT_TRUE(errorMessage(outcome).starts_with("Expected ")) << source;
        EXPECT_TRUE(outcome.error->entries.contains("NSAppleScriptErrorRange")) << source;
        EXPECT_FALSE(outcome.result) << source;
    }
    ScriptOutcome unclosed =
        executeAppleScript("do shell script \"echo hi with administrator privileges");
    EXPECT_EQ(errorMessage(unclosed), "Expected \"\"\" but found end of script.");
    ScriptOutcome trailing = executeAppleScript(statement("true") + " now");
    EXPECT_EQ(errorMessage(trailing), "Expected end of line but found \"now\".");
}

TEST(AppleScriptStatement, RandomSourcesNeverCrash) {
    std::mt19937 random(7);
    const std::vector<std::string> pieces = {"do",         " ",  "shell", "script",
                                             "\"",         "\\", "with",  "administrator",
                                             "privileges", "\n", "x",     "\t"};
    std::uniform_int_distribution<std::size_t> count(0, 12);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    for (int i = 0; i < 20000; ++i) {
        std::string source;
        for (std::size_t n = count(random); n > 0; --n) {
            source += pieces[pick(random)];
        }
        // Never a statement that would run something: the literal is left open.
        if (source.find("privileges") != std::string::npos) {
            source += " \"";
        }
        ScriptOutcome outcome = executeAppleScript(source);
        ASSERT_TRUE(outcome.error) << source;
        ASSERT_EQ(errorNumber(outcome), -2741) << source;
    }
}

TEST(ScriptErrorDescription, SortedKeysQuotedStringsBareNumbers) {
    ScriptErrorInfo info;
    info.entries["NSAppleScriptErrorNumber"] = -128L;
    info.entries["NSAppleScriptErrorMessage"] = "say \"hi\" C:\\x";
    info.entries["NSAppleScriptErrorBriefMessage"] = "";
    EXPECT_EQ(info.description(),
              "{\n"
              "    NSAppleScriptErrorBriefMessage = \"\";\n"
              "    NSAppleScriptErrorMessage = \"say \\\"hi\\\" C:\\\\x\";\n"
              "    NSAppleScriptErrorNumber = -128;\n"
              "}");
    EXPECT_EQ(ScriptErrorInfo{}.description(), "{\n}");
}

class AsRoot : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) {
            GTEST_SKIP() << "needs root: otherwise the service asks for authorisation";
        }
    }
};

TEST_F(AsRoot, ResultIsStandardOutputWithMacLineEnds) {
    ScriptOutcome outcome = executeAppleScript(statement("id -u; printf 'a\\\\nb\\\\n\\\\n'"));
    ASSERT_FALSE(outcome.error) << outcome.error->description();
    EXPECT_EQ(outcome.result, "0\ra\rb\r");

    outcome = executeAppleScript("  \n" + statement("true") + " \n");
    EXPECT_FALSE(outcome.error);
    EXPECT_EQ(outcome.result, std::nullopt);
}

TEST_F(AsRoot, NonZeroExitCarriesStatusAndStandardError) {
    ScriptOutcome outcome = executeAppleScript(
        statement("echo out; echo 'first' >&2; echo '\\\"second\\\"' >&2; exit 3"));
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(errorNumber(outcome), 3);
    EXPECT_EQ(errorMessage(outcome), "first\r\"second\"");
    EXPECT_EQ(outcome.result, std::nullopt);

    outcome = executeAppleScript(statement("exit 1"));
    EXPECT_EQ(errorNumber(outcome), 1);
    EXPECT_EQ(errorMessage(outcome), "The command exited with a non-zero status.");
}

TEST_F(AsRoot, ABackgroundProcessHoldingTheOutputDoesNotHang) {
    auto start = std::chrono::steady_clock::now();
    ScriptOutcome outcome = executeAppleScript(statement("sleep 5 & echo started"));
    EXPECT_FALSE(outcome.error);
    EXPECT_EQ(outcome.result, "started");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace
}  // namespace nimbla::platform
