// Runs the stand-in renderer program as a child process on free loopback ports.
#pragma once
#include <csignal>
#include <cstring>
#include <vector>
#include <cstdio>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

class StandInProcess {
public:
    // Starts it and waits up to 5 s for the line that names its ports; false on failure.
    // Verbose, it tells its console every command it receives.
    bool Start(const std::string& sceneDir, bool verbose = false)
    {
        int out[2];
        if (pipe(out) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<std::string> env = {"ORVIX_RENDERER_PORT=0", "ORVIX_CONSOLE_PORT=0"};
        for (char** e = environ; *e; ++e)
            if (strncmp(*e, "ORVIX_RENDERER_PORT=", 20) && strncmp(*e, "ORVIX_CONSOLE_PORT=", 19))
                env.push_back(*e);
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string exe = ORVIX_RENDERER_EXE;
        std::string flag = "--scenes";
        std::string dir = sceneDir;
        std::string talk = "--verbose";
        char* argv[] = {exe.data(), flag.data(), dir.data(), verbose ? talk.data() : nullptr, nullptr};
        int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        if (rc != 0) {
            close(out[0]);
            pid = -1;
            return false;
        }
        std::string line;
        char c;
        pollfd p{out[0], POLLIN, 0};
        while (line.find('\n') == std::string::npos && poll(&p, 1, 5000) == 1 && read(out[0], &c, 1) == 1)
            line += c;
        close(out[0]);
        return sscanf(line.c_str(), "orvix-renderer listening: command port %d, console port %d", &commandPort,
                      &consolePort) == 2;
    }
    void Stop()
    {
        if (pid <= 0)
            return;
        kill(pid, SIGTERM);
        int status;
        waitpid(pid, &status, 0);
        pid = -1;
    }
    ~StandInProcess() { Stop(); }

    pid_t pid = -1;
    int commandPort = 0;
    int consolePort = 0;
};
