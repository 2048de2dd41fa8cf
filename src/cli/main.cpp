#include <exception>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "base/failure.h"
#include "base/text.h"
#include "cli/cli_common.h"

namespace velmora::cli {
namespace {

struct Command {
  std::string usage;
  CommandFn run;
};

std::map<std::string, Command>& commands() {
  static std::map<std::string, Command> table;
  return table;
}

void print_usage() {
  std::cerr << "usage: velmora <command> [arguments]\n";
  for (const auto& [name, command] : commands()) std::cerr << "  velmora " << command.usage << "\n";
}

}  // namespace

CommandRegistration::CommandRegistration(const char* name, const char* usage, CommandFn run) {
  commands()[name] = Command{usage, std::move(run)};
}

std::string ArgReader::next() {
  if (done()) throw UsageError{"missing argument"};
  return args_[pos_++];
}

std::string ArgReader::value_of(const std::string& option) {
  std::string arg = next();
  const auto eq = arg.find('=');
  if (eq != std::string::npos) return arg.substr(eq + 1);
  if (done()) throw UsageError{option + " needs a value"};
  return next();
}

std::int32_t number_named(const std::string& text, std::string (*name_of)(std::int32_t), std::int32_t first,
                          std::int32_t last, const std::string& option) {
  for (std::int32_t n = first; n <= last; ++n) {
    if (name_of(n) == text) return n;
  }
  throw UsageError{"bad " + option + ": " + text};
}

UsageError unrecognised_argument(const std::string& arg) {
  return UsageError{(arg.size() > 1 && arg[0] == '-' ? "unknown option: " : "unexpected argument: ") + arg};
}

std::filesystem::path path_from_utf8(const std::string& text) {
  const std::u8string u8(text.begin(), text.end());
  return std::filesystem::path(u8);
}

long long parse_int_arg(const std::string& text, long long lo, long long hi, const std::string& what) {
  if (text.empty() || text.size() > 18) throw UsageError{"bad " + what + ": " + text};
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') throw UsageError{"bad " + what + ": " + text};
    value = value * 10 + (c - '0');
  }
  if (value < lo || value > hi) throw UsageError{what + " out of range: " + text};
  return value;
}

int run(const std::vector<std::string>& argv) {
  if (argv.size() < 2 || argv[1] == "--help" || argv[1] == "help") {
    print_usage();
    return argv.size() < 2 ? 2 : 0;
  }
  const auto it = commands().find(argv[1]);
  if (it == commands().end()) {
    std::cerr << "velmora: unknown command: " << argv[1] << "\n";
    print_usage();
    return 2;
  }
  const std::vector<std::string> args(argv.begin() + 2, argv.end());
  try {
    return it->second.run(args);
  } catch (const UsageError& e) {
    std::cerr << "velmora: " << e.message << "\nusage: velmora " << it->second.usage << "\n";
    return 2;
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << "velmora: " << e.what() << "\n";
    return 1;
  }
}

}  // namespace velmora::cli
