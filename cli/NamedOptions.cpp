#include "cli/NamedOptions.hpp"

#include "cli/ProgramVersion.hpp"
#include "cli/UnknownOption.hpp"

#include <CLI/CLI.hpp>

#include <ostream>
#include <sstream>

namespace tl {

namespace {

class UsageFirstFormatter : public CLI::Formatter {
public:
    explicit UsageFirstFormatter(std::string positionalUsage) : positionalUsage(std::move(positionalUsage)) {}

    std::string make_usage(const CLI::App* app, std::string name) const override {
        return CLI::Formatter::make_usage(app, std::move(name)) + "   or: " + positionalUsage + "\n";
    }

    std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override {
        return make_usage(app, std::move(name)) + "\n" + make_description(app) + make_positionals(app) +
               make_groups(app, mode) + "\n" + make_footer(app);
    }

    // An option and its description are two blanks apart at the least, or the description
    // starts on the next line: with one blank, help2man would take both for the option.
    std::string make_option(const CLI::Option* option, bool isPositional) const override {
        std::stringstream out;
        CLI::detail::format_help(out, make_option_name(option, isPositional) + make_option_opts(option) + " ",
                                 make_option_desc(option), column_width_);
        return out.str();
    }

private:
    std::string positionalUsage;
};

std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n') c = ' ';
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

} // namespace

void prepareNamedOptions(CLI::App& app, const std::string& program, const std::string& positionalUsage,
                         const std::string& footer) {
    app.name(program);
    auto formatter = std::make_shared<UsageFirstFormatter>(positionalUsage);
    formatter->label("Usage", "usage");
    formatter->column_width(30);
    app.formatter(formatter);
    app.set_version_flag("--version", program + " " + programVersion());
    app.footer(footer);
}

std::optional<int> parseNamedOptions(CLI::App& app, int argc, const char* const* argv, std::ostream& out,
                                     std::ostream& err) {
    if (const std::string problem = unknownOptionProblem(app, argc, argv); !problem.empty()) {
        err << app.get_name() << ": " << problem << " (see " << app.get_name() << " --help)\n";
        return 2;
    }
    try {
        app.parse(argc, argv);
        return std::nullopt;
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return 0;
    } catch (const CLI::CallForVersion& version) {
        out << version.what() << '\n';
        return 0;
    } catch (const CLI::ParseError& error) {
        err << app.get_name() << ": " << oneLine(error.what()) << " (see " << app.get_name() << " --help)\n";
        return 2;
    }
}

} // namespace tl
