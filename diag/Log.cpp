#include "diag/Log.hpp"

#include "common/PlainFile.hpp"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace tl {

namespace {

std::string& logPathStorage() {
    static std::string path;
    return path;
}

// Entries are complete open-append-close cycles; the lock keeps two entries written
// from different threads from interleaving inside this process.
std::mutex& logLock() {
    static std::mutex lock;
    return lock;
}

// The program name that prefixes the reports echoed to standard error; empty: no echo.
std::string& echoPrefix() {
    static std::string program;
    return program;
}

// A report as one line: line ends inside become blanks, those around it are dropped.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Whether a line drawn on standard error (the progress line) still lacks its end.
std::atomic<bool>& openLine() {
    static std::atomic<bool> open{false};
    return open;
}

void echo(const char* kind, const std::string& message) {
    if (echoPrefix().empty()) return;
    const std::string line = echoPrefix() + ": " + kind + ": " + oneLine(message) + "\n";
    std::lock_guard<std::mutex> guard(logLock());
    if (openLine().exchange(false)) std::fputc('\n', stderr);
    std::fwrite(line.data(), 1, line.size(), stderr);
}

std::string timestamp() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", local.tm_mon + 1,
                  local.tm_mday, local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec);
    return text;
}

} // namespace

void setLogFolder(const std::string& folder) { logPathStorage() = folder + "TessalineLog.txt"; }

void clearLogFolder() { logPathStorage().clear(); }

const std::string& logPath() { return logPathStorage(); }

void writeLogEntry(const std::string& text) {
    std::lock_guard<std::mutex> guard(logLock());
    const std::string& path = logPathStorage();
    if (path.empty()) return;
    std::FILE* file = openPlainFileForWriting(path, true);
    if (!file) return;
    const std::string entry = timestamp() + text;
    std::fwrite(entry.data(), 1, entry.size(), file);
    std::fclose(file);
}

void reportError(const std::string& label, const std::string& message) {
    echo("error", message);
    writeLogEntry("\nERROR at function " + label + " => " + message + "\n\n");
}

bool redirectStandardOutputToLog() {
    std::FILE* log = openPlainFileForWriting(logPathStorage(), true);
    if (!log) return false;
    std::fflush(stdout);
    const bool redirected = dup2(fileno(log), STDOUT_FILENO) >= 0;
    std::fclose(log);
    return redirected;
}

void reportWarning(const std::string& label, const std::string& message) {
    echo("warning", message);
    writeLogEntry("\nWARNING at function " + label + " => " + message + "\n\n");
}

void echoReportsToStandardError(const std::string& program) { echoPrefix() = program; }

void standardErrorLineIsOpen() { openLine() = true; }

void endOpenStandardErrorLine() {
    std::lock_guard<std::mutex> guard(logLock());
    if (openLine().exchange(false)) std::fputc('\n', stderr);
}

void reportRedirectionFailure() {
    writeLogEntry("\nERROR => Redirection de la sortie standard impossible\n\n");
}

} // namespace tl
