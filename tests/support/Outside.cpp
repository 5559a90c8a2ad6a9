#include "support/Outside.h"

#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {

namespace {

std::string drain(int fd) {
    std::string text;
    char buffer[65536];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    return text;
}

} // namespace

RunResult run(const std::vector<std::string>& argv) {
    char outName[] = "/tmp/brindle-out-XXXXXX";
    char errName[] = "/tmp/brindle-err-XXXXXX";
    int outFd = mkstemp(outName);
    int errFd = mkstemp(errName);
    if (outFd < 0 || errFd < 0) throw std::runtime_error("cannot create temporary files");
    unlink(outName);
    unlink(errName);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    RunResult result;
    if (rc != 0) {
        close(outFd);
        close(errFd);
        result.err = "cannot start " + argv[0];
        return result;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    lseek(outFd, 0, SEEK_SET);
    lseek(errFd, 0, SEEK_SET);
    result.out = drain(outFd);
    result.err = drain(errFd);
    close(outFd);
    close(errFd);
    return result;
}

RunResult runPython(const std::string& script, const std::vector<std::string>& args) {
    std::vector<std::string> argv{"/usr/bin/python3", std::string(BRINDLE_TESTS_DIR) + "/interop/" + script};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv);
}

Dump runScript(const std::string& script, const std::vector<std::string>& args) {
    const RunResult r = runPython(script, args);
    if (r.exitCode != 0)
        throw std::runtime_error(script + " failed with exit code " + std::to_string(r.exitCode) + ":\n" +
                                 r.err);
    return parseDump(r.out);
}

Dump dbfread(const std::filesystem::path& table, const std::string& encoding) {
    std::vector<std::string> args{table.string()};
    if (!encoding.empty()) args.push_back(encoding);
    return runScript("dbfread_dump.py", args);
}

std::vector<std::vector<std::string>> cells(const Dump& dump) {
    std::vector<std::vector<std::string>> rows;
    for (const auto& record : dump.records) {
        auto& row = rows.emplace_back();
        for (const auto& cell : record)
            row.push_back(cell.kind + ":" + cell.text);
    }
    return rows;
}

} // namespace testsupport
