#include "live_service.h"
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>
#include "live_socket.h"

extern char** environ;

constexpr const char* Unit = "voxotrope-live.service";

// Runs systemctl with `args`; its status, and the last line it wrote to
// stderr in *said.
static int Systemctl(const std::vector<std::string>& args, std::string* said)
{
    std::vector<char*> argv;
    std::string program = "systemctl";
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& arg : copies)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    int channel[2];
    if (pipe(channel) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, channel[1], STDERR_FILENO);
    posix_spawn_file_actions_adddup2(&actions, channel[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, channel[0]);
    pid_t child;
    int spawned = posix_spawnp(&child, "systemctl", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(channel[1]);
    std::string text;
    char bytes[512];
    for (ssize_t got; (got = read(channel[0], bytes, sizeof bytes)) > 0;)
        text.append(bytes, static_cast<size_t>(got));
    close(channel[0]);
    int status = 0;
    if (spawned != 0) {
        *said = "systemctl cannot be run: is this a systemd session?";
        return -1;
    }
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    *said = text.substr(text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int EnableService(bool enable)
{
    // An instance started by hand keeps the claim: the unit's would find it
    // and end, so it starts at the next login instead.
    std::string answer, error, said;
    bool running = enable && SendCommand("status", &answer, &error) == SendAnswered;
    std::vector<std::string> args = {"--user", enable ? "enable" : "disable"};
    if (!running)
        args.push_back("--now");
    args.push_back(Unit);
    std::string command = "systemctl";
    for (const std::string& arg : args)
        command += " " + arg;
    if (Systemctl(args, &said) != 0) {
        fprintf(stderr, "voxotrope-live: %s failed%s%s\n", command.c_str(), said.empty() ? "" : ": ", said.c_str());
        return 1;
    }
    if (!enable)
        printf("Disabled: the Voxotrope microphone no longer starts at login, and the unit's instance is stopped (%s).\n",
               command.c_str());
    else if (running)
        printf("Enabled: the Voxotrope microphone starts at every login (%s); not started now, for one runs "
               "already.\n",
               command.c_str());
    else
        printf("Enabled: the Voxotrope microphone runs now and starts at every login (%s).\n", command.c_str());
    return 0;
}
