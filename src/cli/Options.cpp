#include "cli/Options.h"

#include <CLI/CLI.hpp>
#include <charconv>

#include "platform/BuildInfo.h"

namespace nimbla::cli {

namespace {

ParseResult usageError(const std::string& message) {
    ParseResult result;
    result.exitCode = kExitUsage;
    result.err = std::string(kProgram) + ": " + withHelpHint(message) + "\n";
    return result;
}

std::optional<int> seconds(const std::string& text) {
    int value = -1;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < 0 ||
        value > kMaxQuitSeconds) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::string withHelpHint(const std::string& message) {
    return message + " (see " + kProgram + " --help)";
}

const char* commandName(Command command) {
    switch (command) {
        case Command::Status:
            return "status";
        case Command::Reset:
            return "reset";
        case Command::Uninstall:
            return "uninstall";
    }
    return "";
}

namespace {

// The program's description, help footer, version and failure messages.
void describe(CLI::App& app) {
    app.require_subcommand(1, 1);
    app.footer(
        "As root, --user NAME names whose client (default: the user at the console): every step\n"
        "the window runs as the user runs as NAME, the administrator script as root; --all-users\n"
        "(status, uninstall) does so for every account. status and --dry-run change nothing and\n"
        "log nothing. With --json, standard output holds one JSON object; progress goes to\n"
        "standard error.\n\n"
        "Exit status: 0 success; 1 the work failed, or an uninstall left traces; 2 usage error;\n"
        "3 Nimbla Drive is running (nothing changed); 4 cannot run as asked (unknown user or a\n"
        "service account, --user without root, no console user, no home folder, another run for\n"
        "the user in progress); 128+N stopped by signal N. Every detail: man nimbla-reset");
    app.set_version_flag("--version",
                         std::string(kProgram) + " " + platform::build::projectVersion);
    app.failure_message(
        [](const CLI::App*, const CLI::Error& error) { return std::string(error.what()); });
}

// A usage error for a command line without a command: the first word that is neither an option
// nor an option's value is the unknown command.
ParseResult missingCommand(const std::vector<std::string>& arguments) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (word == "--user" || word == "--log") {
            ++i;
        } else if (!word.starts_with("-")) {
            return usageError("unknown command: " + word + " (status, reset or uninstall)");
        }
    }
    return usageError("a command is needed: status, reset or uninstall");
}

// Every option the parse counted, in its words: a flag alone, or with "=value" when it was given
// one; any other option with its value.
std::vector<std::string> givenOptions(const CLI::App& app) {
    std::vector<std::string> words;
    for (const CLI::Option* option : app.get_options()) {
        if (option->count() == 0) {
            continue;
        }
        for (const std::string& value : option->results()) {
            if (option->get_expected_min() > 0) {
                words.insert(words.end(), {option->get_name(), value});
            } else {
                words.push_back(option->get_name() + (value == "true" ? "" : "=" + value));
            }
        }
    }
    return words;
}

// "--quit-client N" as "--quit-client=N": the value is optional, so only a next word of digits
// alone is taken as it (never "--quit-client reset").
std::vector<std::string> joinedQuitSeconds(const std::vector<std::string>& arguments) {
    std::vector<std::string> joined;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const bool valueOfAnother =
            i > 0 && (arguments[i - 1] == "--user" || arguments[i - 1] == "--log");
        const bool digits = i + 1 < arguments.size() && !arguments[i + 1].empty() &&
                            arguments[i + 1].find_first_not_of("0123456789") == std::string::npos;
        if (arguments[i] == "--quit-client" && !valueOfAnother && digits) {
            joined.push_back("--quit-client=" + arguments[++i]);
        } else {
            joined.push_back(arguments[i]);
        }
    }
    return joined;
}

}  // namespace

// The options every command takes, parsed into `options` (and the words that need checking).
void defineOptions(CLI::App& app, Options& options, std::string& user, std::string& logFile,
                   std::string& quitClient) {
    app.add_option("--user", user, "Whose client (as root; default: the console user)")
        ->type_name("NAME");
    app.add_flag("--dry-run", options.dryRun, "Run only the read-only probes; print every command");
    app.add_flag("--json", options.json, "One JSON object on standard output");
    app.add_flag("--quiet", options.quiet, "No progress on standard error");
    app.add_option("--log", logFile, "Also append every log line, timestamped, to FILE")
        ->type_name("FILE");
    app.add_flag("--quit-client", quitClient,
                 "Ask the client to quit first (an Apple event, then SIGTERM), and wait up to "
                 "SECONDS (default 10)")
        ->option_text("[=SECONDS]");
    app.add_flag("--relaunch", options.relaunch,
                 "After the reset, whatever its outcome, reopen the client --quit-client ended");
    app.add_flag("--sizes", options.sizes, "status: measure every folder in full");
    app.add_flag("--all-users", options.allUsers,
                 "Every account on the machine (as root; status and uninstall)");
}

ParseResult parseArguments(const std::vector<std::string>& arguments) {
    CLI::App app(
        "Repairs (reset) or removes (uninstall) the Nimbla Drive client, for "
        "administrators and device management. See nimbla-reset(1).",
        kProgram);
    describe(app);

    Options options;
    std::string user;
    std::string logFile;
    std::string quitClient;
    auto* status = app.add_subcommand("status", "What is installed, running and would be run");
    auto* reset =
        app.add_subcommand("reset", "Clear the client's local state (the window's Reset)");
    auto* uninstall = app.add_subcommand("uninstall", "Remove the client (the window's Uninstall)");
    for (auto* command : {status, reset, uninstall}) {
        command->fallthrough();
    }
    defineOptions(app, options, user, logFile, quitClient);

    const std::vector<std::string> words = joinedQuitSeconds(arguments);
    std::vector<std::string> reversed(words.rbegin(), words.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        return {std::nullopt, kExitSuccess, app.help(), ""};
    } catch (const CLI::CallForVersion& version) {
        return {std::nullopt, kExitSuccess, std::string(version.what()) + "\n", ""};
    } catch (const CLI::RequiredError&) {
        return missingCommand(arguments);
    } catch (const CLI::ParseError& error) {
        std::string message = error.what();
        for (char& c : message) {
            if (c == '\n') {
                c = ' ';
            }
        }
        return usageError(message);
    }

    if (status->parsed()) {
        options.command = Command::Status;
    } else if (reset->parsed()) {
        options.command = Command::Reset;
    } else {
        options.command = Command::Uninstall;
    }
    if (app.count("--user") > 0) {
        if (user.empty()) {
            return usageError("--user needs a user name");
        }
        options.user = user;
    }
    if (app.count("--log") > 0) {
        if (logFile.empty()) {
            return usageError("--log needs a file name");
        }
        options.logFile = logFile;
    }
    if (app.count("--quit-client") > 0) {
        // A bare flag reads as "true".
        options.quitClientSeconds =
            quitClient == "true" ? std::optional(kDefaultQuitSeconds) : seconds(quitClient);
        if (!options.quitClientSeconds) {
            return usageError("--quit-client takes whole seconds from 0 to " +
                              std::to_string(kMaxQuitSeconds) + ", not \"" + quitClient + "\"");
        }
        if (options.command == Command::Status) {
            return usageError("status changes nothing; --quit-client goes with reset or uninstall");
        }
    }
    if (options.sizes && options.command != Command::Status) {
        return usageError("--sizes goes with status");
    }
    if (options.allUsers && (options.command == Command::Reset || options.user)) {
        return usageError("--all-users goes with status or uninstall, without --user");
    }
    if (options.relaunch && (options.command != Command::Reset || !options.quitClientSeconds)) {
        return usageError("--relaunch goes with reset and --quit-client");
    }
    options.given = givenOptions(app);
    return {options, kExitSuccess, "", ""};
}

}  // namespace nimbla::cli
