// The command line's inputs: raw-photo files and their names for decode and
// render, directory files for pat, camera-image folders for list and
// download, each with arguments from the input. The program must end with
// status 0, 1 or 2, and a failed decode or render leaves no output file.
// Input: a mode byte (decode, render, pat, camera-image folder), a token
// count and the tokens (length byte, bytes), a file count and the files
// (name length byte, name, 16-bit content length, content).

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "cli/cli_common.h"
#include "fuzz/harness.h"
#include "support/temp_dir.h"

using namespace velmora;
using fuzzing::require;

namespace {

std::string text(fuzzing::Input& input, std::size_t n) {
  const std::vector<std::uint8_t> bytes = input.bytes(n);
  std::string out(bytes.begin(), bytes.end());
  for (char& c : out) c = c == '\0' ? '_' : c;
  return out;
}

int run_quietly(const std::vector<std::string>& argv) {
  std::ostringstream sink;
  auto* out = std::cout.rdbuf(sink.rdbuf());
  auto* err = std::cerr.rdbuf(sink.rdbuf());
  const int status = cli::run(argv);
  std::cout.rdbuf(out);
  std::cerr.rdbuf(err);
  require(status >= 0 && status <= 2, "exit status outside 0..2");
  return status;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static test::TempDir temp;
  static const bool virtual_time = setenv("VELMORA_SIM_CLOCK", "virtual", 1) == 0;
  require(virtual_time, "cannot set the simulated clock");
  const std::filesystem::path in = temp.path() / "in", out = temp.path() / "out";
  std::filesystem::remove_all(in);
  std::filesystem::remove_all(out);
  std::filesystem::create_directories(in);

  fuzzing::Input input(data, size);
  const int mode = input.byte() % 4;
  std::vector<std::string> tokens;
  for (int n = input.byte() % 8; n > 0; --n) tokens.push_back(text(input, input.byte() % 48));
  std::vector<std::string> paths;
  for (int n = input.byte() % 4 + 1; n > 0; --n) {
    // A name the folder can hold: no separators, not "." or "..".
    std::string name = text(input, input.byte() % 40);
    for (char& c : name) c = c == '/' || c == '\\' ? '_' : c;
    if (name.empty() || name == "." || name == "..") name = "f";
    const std::size_t length = input.u16();
    std::ofstream(in / name, std::ios::binary) << text(input, length);
    paths.push_back((in / name).string());
  }

  // The tokens go first: the harness's own output option comes last and wins,
  // so nothing is ever written outside the temporary folder.
  const auto with_tokens = [&tokens](std::vector<std::string> command, const std::vector<std::string>& tail) {
    command.insert(command.end(), tokens.begin(), tokens.end());
    command.insert(command.end(), tail.begin(), tail.end());
    return command;
  };
  if (mode <= 1) {
    const int status =
        run_quietly(with_tokens({"velmora", mode == 0 ? "decode" : "render"}, {paths[0], "--output", out.string()}));
    require(status == 0 || !std::filesystem::exists(out), "a failed command left its output file");
  } else if (mode == 2) {
    std::vector<std::string> argv{"velmora", "pat"};
    argv.insert(argv.end(), paths.begin(), paths.end());
    run_quietly(argv);
  } else {
    // The first file is the folder's directory.bin, the others keep their names.
    std::filesystem::rename(paths[0], in / "directory.bin");
    const std::string camera = "--simulated-camera=" + in.string();
    run_quietly({"velmora", "list", camera});
    run_quietly(with_tokens({"velmora", "download", camera}, {"--to", out.string()}));
  }
  return 0;
}
