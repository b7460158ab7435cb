// The fixture of the tavvel-cli process tests: a folder of its own, file
// helpers, and a program run there with its exit status and output.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace cli_test {

struct Result {
  int status = -1;  // the exit status, or 128 + the signal
  std::string out, err;
};

class CliFolderTest : public ::testing::Test {
 protected:
  CliFolderTest() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavvel_cli_XXXXXX").string();
    folder_ = ::mkdtemp(pattern.data());
  }
  ~CliFolderTest() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  std::string Path(const std::string& name) const { return folder_ + "/" + name; }
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  std::string Read(const std::string& name) const { return ReadPath(Path(name)); }
  static std::string ReadPath(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  bool Exists(const std::string& name) const {
    return std::filesystem::exists(std::filesystem::symlink_status(Path(name)));
  }

  // Runs program with args in the test's folder; standard input is empty,
  // standard output and error are collected.
  Result RunProgram(const std::string& program, const std::vector<std::string>& args) const {
    const std::string out_path = Path(".stdout"), err_path = Path(".stderr");
    pid_t child = ::fork();
    if (child == 0) {
      int in = ::open("/dev/null", O_RDONLY);
      int out = ::open(out_path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
      int err = ::open(err_path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
      if (in < 0 || out < 0 || err < 0 || ::chdir(folder_.c_str()) != 0) ::_exit(125);
      ::dup2(in, 0);
      ::dup2(out, 1);
      ::dup2(err, 2);
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(program.c_str()));
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      ::execv(program.c_str(), argv.data());
      ::_exit(126);
    }
    Result result;
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child) {
      result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    result.out = ReadPath(out_path);
    result.err = ReadPath(err_path);
    ::unlink(out_path.c_str());
    ::unlink(err_path.c_str());
    return result;
  }

  std::string folder_;
};

}  // namespace cli_test
