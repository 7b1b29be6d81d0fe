#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

ChildProcess::ChildProcess(const std::vector<std::string>& arguments) {
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "no pipe";
        return;
    }
    if (pipe2(fromChild, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "no pipe";
        close(toChild[0]);
        close(toChild[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    EXPECT_EQ(0, spawned) << argv[0];
    process_ = spawned == 0 ? pid : -1;
    input_ = fdopen(toChild[1], "w");
    output_ = fdopen(fromChild[0], "r");
    // A child that ended early fails the test through its status, not through SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
}

int ChildProcess::Finish() {
    CloseStreams();
    if (process_ <= 0) {
        return -1;
    }
    int status = -1;
    pid_t pid = (pid_t)process_;
    process_ = -1;
    if (waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
