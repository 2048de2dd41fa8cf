#pragma once
// Shared plumbing of the command-line program. Each command lives in its own
// file and registers itself with a static CommandRegistration.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmora::cli {

// Bad command line: exit status 2 with the message and the usage text.
struct UsageError {
  std::string message;
};

// A command gets its arguments (without the command name) as UTF-8 and
// returns the exit status. A velmora::Failure or std::exception escaping it
// becomes "velmora: <message>" and exit status 1.
using CommandFn = std::function<int(const std::vector<std::string>& args)>;

struct CommandRegistration {
  CommandRegistration(const char* name, const char* usage, CommandFn run);
};

// Argument helpers shared by the commands.
class ArgReader {
 public:
  explicit ArgReader(const std::vector<std::string>& args) : args_(args) {}
  bool done() const { return pos_ >= args_.size(); }
  const std::string& peek() const { return args_[pos_]; }
  // The current argument's option name: all of it, or what comes before its '='.
  std::string option() const { return peek().substr(0, peek().find('=')); }
  std::string next();
  // "--name VALUE" or "--name=VALUE"; the option name must already be peeked.
  std::string value_of(const std::string& option);

 private:
  const std::vector<std::string>& args_;
  std::size_t pos_ = 0;
};

// The number from first to last whose name is text; UsageError "bad <option>: <text>" otherwise.
std::int32_t number_named(const std::string& text, std::string (*name_of)(std::int32_t), std::int32_t first,
                          std::int32_t last, const std::string& option);

// For an argument that no option of the command takes.
UsageError unrecognised_argument(const std::string& arg);

std::filesystem::path path_from_utf8(const std::string& text);
// Parses a decimal integer in [lo, hi]; UsageError otherwise.
long long parse_int_arg(const std::string& text, long long lo, long long hi, const std::string& what);

// Runs the command line argv (argv[0] the program) and returns the exit status.
int run(const std::vector<std::string>& argv);

}  // namespace velmora::cli
