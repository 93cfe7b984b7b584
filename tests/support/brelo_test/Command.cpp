#include "Command.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <system_error>

extern char** environ;

namespace brelo::test {
namespace {

struct Pipe {
  int fd[2] = {-1, -1};
  Pipe() {
    if (pipe2(fd, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
  }
  ~Pipe() { CloseBoth(); }
  void Close(int i) {
    if (fd[i] >= 0) close(fd[i]);
    fd[i] = -1;
  }
  void CloseBoth() { Close(0), Close(1); }
};

pid_t Spawn(const std::vector<std::string>& argv, Pipe& in, Pipe& out, Pipe& err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in.fd[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out.fd[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err.fd[1], 2);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::system_error(rc, std::generic_category(), "cannot start " + argv[0]);
  return pid;
}

// Feeds the input and drains both outputs together, so neither side can block the other.
void Pump(Pipe& in, Pipe& out, Pipe& err, const std::string& input, CommandResult& result) {
  size_t written = 0;
  if (input.empty()) in.Close(1);
  char buffer[4096];
  while (out.fd[0] >= 0 || err.fd[0] >= 0) {
    pollfd fds[3] = {{out.fd[0], POLLIN, 0}, {err.fd[0], POLLIN, 0}, {in.fd[1], POLLOUT, 0}};
    if (poll(fds, 3, -1) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].revents == 0) continue;
      Pipe& p = i == 0 ? out : err;
      const ssize_t n = read(p.fd[0], buffer, sizeof buffer);
      if (n > 0) (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
      else if (n == 0 || errno != EINTR) p.Close(0);
    }
    if (fds[2].revents != 0) {
      const ssize_t n = write(in.fd[1], input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<size_t>(n);
      if (n < 0 || written == input.size()) in.Close(1);
    }
  }
}

}  // namespace

CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& input) {
  if (argv.empty()) throw std::invalid_argument("RunCommand: no program");
  Pipe in, out, err;
  const pid_t pid = Spawn(argv, in, out, err);
  in.Close(0), out.Close(1), err.Close(1);
  // A program that exits before reading its input must not kill us with SIGPIPE.
  struct sigaction ignore {}, previous {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &previous);
  CommandResult result;
  Pump(in, out, err, input, result);
  sigaction(SIGPIPE, &previous, nullptr);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

void RequireProgram(const std::string& program, const std::string& package) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (!dir.empty() && access((std::filesystem::path(dir) / program).c_str(), X_OK) == 0) return;
  }
  throw std::runtime_error(program + " not found: install the Debian package " + package);
}

}  // namespace brelo::test
