#include "cli/UnknownOption.hpp"

#include <algorithm>
#include <cctype>
#include <numeric>
#include <vector>

namespace tl {

namespace {

// The option name an argument spells ("--name" of "--name=value", "-x" of "-xVALUE"),
// or nothing when it is not an option.
std::string spelledOption(const std::string& argument) {
    if (argument.starts_with("--") && argument.size() > 2) return argument.substr(0, argument.find('='));
    if (argument.size() >= 2 && argument[0] == '-' && std::isalpha(static_cast<unsigned char>(argument[1])))
        return argument.substr(0, 2);
    return "";
}

std::vector<std::string> knownOptions(const CLI::App& app) {
    std::vector<std::string> names;
    for (const CLI::Option* option : app.get_options()) {
        for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
        for (const std::string& name : option->get_snames()) names.push_back("-" + name);
    }
    return names;
}

// The number of letters to insert, delete or change to turn a into b.
std::size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), 0);
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The known long option nearest to spelled, when it is near enough to be what was meant:
// the first that begins with it ("--out" for "--output"), or the one fewest letters away.
std::string nearestOption(const std::string& spelled, const std::vector<std::string>& known) {
    for (const std::string& name : known)
        if (spelled.size() > 2 && name.starts_with(spelled)) return name;
    std::string nearest;
    std::size_t best = std::max<std::size_t>(2, spelled.size() / 3) + 1;
    for (const std::string& name : known) {
        const std::size_t distance = editDistance(spelled, name);
        if (name.starts_with("--") && distance < best) {
            best = distance;
            nearest = name;
        }
    }
    return nearest;
}

} // namespace

std::string unknownOptionProblem(const CLI::App& app, int argc, const char* const* argv) {
    const std::vector<std::string> known = knownOptions(app);
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--") break;
        const std::string spelled = spelledOption(argument);
        if (spelled.empty() || std::find(known.begin(), known.end(), spelled) != known.end()) continue;
        const std::string nearest = nearestOption(spelled, known);
        return "unknown option '" + spelled + "'" + (nearest.empty() ? "" : " (did you mean " + nearest + "?)");
    }
    return "";
}

} // namespace tl
